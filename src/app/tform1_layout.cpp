// The window's widgets, built from the window core's layout.
#include <QAction>
#include <QBitmap>
#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>

#include "artwork.h"
#include "fonts.h"
#include "image_list.h"
#include "picture.h"
#include "qt_text.h"
#include "shape_box.h"
#include "tform1.h"
#include "window_layout.h"

namespace kalvoran {
namespace {

QColor ToQColor(Colour colour) {
  return {colour.r, colour.g, colour.b};
}

QFont ToQFont(const Font& font) {
  return font.face == Font::kSerif ? SerifFont(font.pixels)
                                   : SansFont(font.pixels, font.bold, font.underline);
}

// The colour key is never shown: a fill in it leaves the window see-through
// there, as the cut corners of the skin are.
void FillKeyed(QPainter& painter, const QRect& rect, QColor colour) {
  if (colour == ToQColor(kFuchsia)) {
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    colour = Qt::transparent;
  }
  painter.fillRect(rect, colour);
}

// The instruction list's rows are as high as in the closed list.
class FixedRowDelegate : public QStyledItemDelegate {
 public:
  FixedRowDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
  }

 private:
  int height_;
};

// The list drops down below the field, as the arrows over its right end
// expect, instead of opening over it.
class DropDownBelowStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == QStyle::SH_ComboBox_Popup) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

// A panel that fills itself with one colour without handing that colour down
// to its children (a palette would).
class ColourPanel : public QFrame {
 public:
  ColourPanel(QColor colour, QWidget* parent) : QFrame(parent), colour_(colour) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    FillKeyed(painter, rect(), colour_);
    painter.end();
    QFrame::paintEvent(event);
  }

 private:
  QColor colour_;
};

std::unique_ptr<ImageList> MakeImageList(const ImageListLayout& item) {
  QStringList paths;
  for (Art art : item.images) paths << ArtPath(art);
  return std::make_unique<ImageList>(item.width, item.height, paths);
}

}  // namespace

void TForm1::BuildLayout() {
  RegisterArtwork();
  ImageList1 = MakeImageList(kalvoran::ImageList1());
  ImageList2 = MakeImageList(kalvoran::ImageList2());
  ImageList3 = MakeImageList(kalvoran::ImageList3());
  ImageList4 = MakeImageList(kalvoran::ImageList4());

  for (const ComponentLayout& item : WindowLayout()) {
    const auto parent = qobject_cast<QWidget*>(components_[static_cast<std::size_t>(item.parent)]);
    QWidget* widget = nullptr;
    switch (item.kind) {
      case Kind::kWindow:
        widget = this;
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        // The skin's key colour becomes see-through pixels: the only shape a
        // Wayland compositor shows, and a compositing X11 desktop the exact
        // one at any scale. The mask (ApplySkinShape) stays beside it.
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(item.rect.width, item.rect.height);
        setWindowTitle(FromCp1250(item.caption));
        break;
      case Kind::kPanel: {
        auto* panel =
            item.fill ? new ColourPanel(ToQColor(*item.fill), parent) : new QFrame(parent);
        panel->setFrameShape(QFrame::NoFrame);
        panel->setAutoFillBackground(!item.fill);
        if (item.raisedBevel) {
          panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
          panel->setLineWidth(1);
        }
        widget = panel;
        break;
      }
      case Kind::kPicture: {
        auto* picture = new Picture(parent);
        if (item.picture) picture->SetPicture(Draw(*item.picture), Draw(*item.picture, 2));
        picture->SetTransparent(item.transparent);
        widget = picture;
        break;
      }
      case Kind::kLabel: {
        auto* label = new QLabel(FromCp1250(item.caption), parent);
        if (item.text) {
          QPalette palette = label->palette();
          palette.setColor(QPalette::WindowText, ToQColor(*item.text));
          label->setPalette(palette);
        }
        label->setFocusPolicy(Qt::NoFocus);
        if (item.align == Align::kCentreTop) label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        if (item.align == Align::kRightTop) label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        widget = label;
        break;
      }
      case Kind::kList: {
        auto* list = new QComboBox(parent);
        list->setEditable(false);
        list->setMaxVisibleItems(kListVisibleItems);
        list->setItemDelegate(new FixedRowDelegate(kListItemHeight, list));
        auto* style = new DropDownBelowStyle;
        style->setParent(list);
        list->setStyle(style);
        widget = list;
        break;
      }
      case Kind::kShape:
        widget =
            new ShapeBox(ToQColor(item.pen.value_or(kFuchsia)),
                         item.fill ? std::optional(ToQColor(*item.fill)) : std::nullopt, parent);
        break;
      case Kind::kButton: {
        auto* button = new QPushButton(parent);
        if (item.picture) button->setIconSize(QSize(19, 19));
        widget = button;
        break;
      }
      case Kind::kBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        widget = bar;
        break;
      }
      case Kind::kEdit: {
        auto* edit = new QPlainTextEdit(parent);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setWordWrapMode(QTextOption::NoWrap);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        edit->setTabChangesFocus(true);
        edit->setContextMenuPolicy(Qt::CustomContextMenu);
        widget = edit;
        break;
      }
      case Kind::kTimer: {
        auto* timer = new QTimer(this);
        timer->setObjectName(QString::fromLatin1(ComponentName(item.id)));
        timer->setInterval(kTimerIntervalMs);
        components_[static_cast<std::size_t>(item.id)] = timer;
        continue;
      }
      case Kind::kMenu:
      case Kind::kMenuItem:
        continue;  // BuildMenus
    }
    widget->setObjectName(QString::fromLatin1(ComponentName(item.id)));
    if (widget != this)
      widget->setGeometry(item.rect.left, item.rect.top, item.rect.width, item.rect.height);
    if (item.font) widget->setFont(ToQFont(*item.font));
    if (!item.visible) widget->hide();
    if (item.dragSurface) dragSurfaces_ << widget;
    components_[static_cast<std::size_t>(item.id)] = widget;
  }

  Panel4 = qobject_cast<QFrame*>(Widget(Component::kPanel4));
  Image0 = qobject_cast<Picture*>(Widget(Component::kImage0));
  Label4 = qobject_cast<QLabel*>(Widget(Component::kLabel4));
  Label1 = qobject_cast<QLabel*>(Widget(Component::kLabel1));
  ComboBox1 = qobject_cast<QComboBox*>(Widget(Component::kComboBox1));
  Panel2 = qobject_cast<QFrame*>(Widget(Component::kPanel2));
  Shape1 = static_cast<ShapeBox*>(Widget(Component::kShape1));
  Image2 = qobject_cast<Picture*>(Widget(Component::kImage2));
  Image1 = qobject_cast<Picture*>(Widget(Component::kImage1));
  Panel3 = qobject_cast<QFrame*>(Widget(Component::kPanel3));
  Shape2 = static_cast<ShapeBox*>(Widget(Component::kShape2));
  Image5 = qobject_cast<Picture*>(Widget(Component::kImage5));
  Label2 = qobject_cast<QLabel*>(Widget(Component::kLabel2));
  Shape3 = static_cast<ShapeBox*>(Widget(Component::kShape3));
  Image8 = qobject_cast<Picture*>(Widget(Component::kImage8));
  Button1 = qobject_cast<QPushButton*>(Widget(Component::kButton1));
  Button2 = qobject_cast<QPushButton*>(Widget(Component::kButton2));
  Label6 = qobject_cast<QLabel*>(Widget(Component::kLabel6));
  Panel1 = qobject_cast<QFrame*>(Widget(Component::kPanel1));
  ProgressBar1 = qobject_cast<QProgressBar*>(Widget(Component::kProgressBar1));
  Image4 = qobject_cast<Picture*>(Widget(Component::kImage4));
  BitBtn1 = qobject_cast<QPushButton*>(Widget(Component::kBitBtn1));
  RichEdit1 = qobject_cast<QPlainTextEdit*>(Widget(Component::kRichEdit1));
  Timer1 = qobject_cast<QTimer*>(components_[static_cast<std::size_t>(Component::kTimer1)]);

  Image8->setCursor(Qt::PointingHandCursor);
  Image8->SetKeyboardStop(true);
  Image5->SetKeyboardStop(true);
  Image8->setContextMenuPolicy(Qt::CustomContextMenu);

  const std::vector<Component>& order = TabOrder();
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    setTabOrder(Widget(order[i]), Widget(order[i + 1]));
  }
  ApplySkinShape();
}

void TForm1::BuildMenus() {
  for (const ComponentLayout& item : WindowLayout()) {
    const QString name = QString::fromLatin1(ComponentName(item.id));
    if (item.kind == Kind::kMenu) {
      auto* menu = new QMenu(this);
      menu->setObjectName(name);
      components_[static_cast<std::size_t>(item.id)] = menu;
    } else if (item.kind == Kind::kMenuItem) {
      auto* menu = qobject_cast<QMenu*>(components_[static_cast<std::size_t>(item.parent)]);
      QAction* action = menu->addAction(FromCp1250(item.caption));
      action->setObjectName(name);
      action->setData(item.tag);
      components_[static_cast<std::size_t>(item.id)] = action;
    }
  }
  PopupMenu1 = qobject_cast<QMenu*>(components_[static_cast<std::size_t>(Component::kPopupMenu1)]);
  Vloi1 = Action(Component::kVloi1);
  Vybravetko1 = Action(Component::kVybravetko1);
  Zmaza1 = Action(Component::kZmaza1);
  PopupMenu2 = qobject_cast<QMenu*>(components_[static_cast<std::size_t>(Component::kPopupMenu2)]);
  CZ1 = Action(Component::kCZ1);
  DE1 = Action(Component::kDE1);
  EN1 = Action(Component::kEN1);
  SK1 = Action(Component::kSK1);
}

// The skin's fuchsia pixels are the window's colour key: they are cut out of
// the window, which leaves the octagon and lets the desktop show around it.
// The pictures draw them see-through; the mask cuts them as well, for an X11
// desktop without a compositor (where see-through pixels show black), and it
// is the input region everywhere, Wayland included, so that clicks in the
// corners reach the window behind. It is logical: at any scale 465 x 465.
void TForm1::ApplySkinShape() {
  const QImage skin(ArtPath(Art::kSkin));
  if (skin.isNull()) {
    clearMask();
    return;
  }
  // The skin is drawn centred, so its cut-out is too.
  const QRegion octagon(
      QBitmap::fromImage(skin.createMaskFromColor(ToQColor(kFuchsia).rgb(), Qt::MaskInColor)));
  setMask(octagon.translated((width() - skin.width()) / 2, (height() - skin.height()) / 2));
}

void TForm1::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  FillKeyed(painter, rect(), ToQColor(kFuchsia));
}

QIcon TForm1::DrawIcon(Art picture) const {
  QIcon icon(QPixmap::fromImage(Draw(picture)));
  // Qt picks the twin on a dense screen.
  const QImage sharp = Draw(picture, 2);
  if (sharp.devicePixelRatio() > 1) icon.addPixmap(QPixmap::fromImage(sharp));
  return icon;
}

QImage TForm1::Draw(Art picture, qreal ratio) const {
  const std::pair<const ImageListLayout*, const ImageList*> lists[] = {
      {&kalvoran::ImageList1(), ImageList1.get()},
      {&kalvoran::ImageList2(), ImageList2.get()},
      {&kalvoran::ImageList3(), ImageList3.get()},
      {&kalvoran::ImageList4(), ImageList4.get()}};
  for (const auto& [layout, list] : lists) {
    for (std::size_t i = 0; i < layout->images.size(); ++i) {
      if (layout->images[i] == picture) return list->Draw(static_cast<int>(i), ratio);
    }
  }
  return LoadArt(ArtPath(picture), ratio);
}

}  // namespace kalvoran
