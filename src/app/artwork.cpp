#include "artwork.h"

#include <QtGlobal>

#ifdef KALVORAN_HAVE_ARTWORK
// The resources live in a static library: nothing else references them, so
// they are registered by hand (outside any namespace, as the macro requires).
static void RegisterKalvoranResources() {
  Q_INIT_RESOURCE(kalvoran);
}
#endif

namespace kalvoran {

void RegisterArtwork() {
#ifdef KALVORAN_HAVE_ARTWORK
  static const bool registered = (RegisterKalvoranResources(), true);
  (void)registered;
#endif
}

}  // namespace kalvoran
