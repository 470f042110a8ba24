// The window's controls: positions, sizes, fonts, colours and initial looks.
#include <QAction>
#include <QBitmap>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>

#include "app_constants.h"
#include "artwork.h"
#include "fonts.h"
#include "image_list.h"
#include "picture.h"
#include "shape_box.h"
#include "tform1.h"

namespace kalvoran {
namespace {

const QColor kFuchsia(255, 0, 255);

// The instruction list's rows are 13 pixels high, as in the closed list.
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
    QPainter(this).fillRect(rect(), colour_);
    QFrame::paintEvent(event);
  }

 private:
  QColor colour_;
};

template <typename W>
W* Place(W* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

QLabel* WhiteLabel(QWidget* parent, const QFont& font) {
  auto* label = new QLabel(parent);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::white);
  label->setPalette(palette);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

QFrame* PlainPanel(QWidget* parent) {
  auto* panel = new QFrame(parent);
  panel->setFrameShape(QFrame::NoFrame);
  panel->setAutoFillBackground(true);
  return panel;
}

}  // namespace

void TForm1::BuildLayout() {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setFixedSize(465, 465);
  setFont(SansFont(11));

  RegisterArtwork();
  ImageList1 = std::make_unique<ImageList>(19, 19, QStringList{art::kFolder, art::kFolderGrey});
  ImageList2 = std::make_unique<ImageList>(
      20, 20, QStringList{art::Activity(0), art::Activity(1), art::Activity(2), art::Activity(3)});
  ImageList3 = std::make_unique<ImageList>(
      15, 15, QStringList{art::Tray(0), art::Tray(1), art::Tray(2), art::Tray(3)});
  ImageList4 = std::make_unique<ImageList>(
      46, 23, QStringList{art::kFlagSk, art::kFlagCz, art::kFlagEn, art::kFlagDe});

  Panel4 = Place(new ColourPanel(kFuchsia, this), "Panel4", 0, 0, 465, 465);
  Panel4->setFrameShape(QFrame::NoFrame);

  Image0 = Place(new Picture(Panel4), "Image0", 0, 0, 465, 465);
  Image0->SetPicture(QImage(art::kSkin));

  Label4 = Place(WhiteLabel(Panel4, SansFont(13, true)), "Label4", 152, 52, 164, 18);
  Label4->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label4->setText(QString::fromLatin1(kProductLabel));

  Label1 = Place(WhiteLabel(Panel4, SansFont(11, true, true)), "Label1", 150, 109, 164, 18);
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  ComboBox1 = Place(new QComboBox(Panel4), "ComboBox1", 103, 127, 260, 21);
  ComboBox1->setEditable(false);
  ComboBox1->setMaxVisibleItems(20);
  ComboBox1->setItemDelegate(new FixedRowDelegate(13, ComboBox1));
  auto* listStyle = new DropDownBelowStyle;
  listStyle->setParent(ComboBox1);
  ComboBox1->setStyle(listStyle);

  // Lies over the list's right end and hides its own arrow button.
  Panel2 = Place(PlainPanel(Panel4), "Panel2", 343, 130, 17, 15);
  Shape1 = Place(new ShapeBox(Qt::white, QColor(Qt::white), Panel2), "Shape1", 0, 0, 17, 15);
  Image2 = Place(new Picture(Panel2), "Image2", 0, 0, 17, 15);
  Image2->SetPicture(QImage(art::kArrowClose));
  Image1 = Place(new Picture(Panel2), "Image1", 0, 0, 17, 15);
  Image1->SetPicture(QImage(art::kArrowOpen));

  Panel3 = Place(PlainPanel(Panel4), "Panel3", 303, 15, 20, 9);
  const QColor sky(0, 157, 255);
  Shape2 = Place(new ShapeBox(sky, sky, Panel3), "Shape2", 0, 0, 20, 9);
  Image5 = Place(new Picture(Panel3), "Image5", 0, 0, 20, 9);
  Image5->SetPicture(QImage(art::kMinimise));
  Image5->SetTransparent(true);

  // Sizes itself to its caption.
  Label2 = Place(WhiteLabel(Panel4, SansFont(13, true)), "Label2", 46, 220, 0, 0);

  Shape3 =
      Place(new ShapeBox(QColor(235, 208, 134), std::nullopt, Panel4), "Shape3", 209, 297, 48, 25);
  Image8 = Place(new Picture(Panel4), "Image8", 210, 298, 46, 23);
  Image8->setCursor(Qt::PointingHandCursor);
  Image8->setContextMenuPolicy(Qt::CustomContextMenu);

  Button1 = Place(new QPushButton(Panel4), "Button1", 139, 336, 85, 25);
  Button1->setFont(SansFont(11, true));
  Button2 = Place(new QPushButton(Panel4), "Button2", 241, 336, 85, 25);
  Button2->setFont(SansFont(11, true));

  Label6 = Place(new QLabel(Panel4), "Label6", 72, 374, 40, 13);
  Label6->setFont(SansFont(11, true));
  Label6->setAlignment(Qt::AlignRight | Qt::AlignTop);

  Panel1 = Place(PlainPanel(Panel4), "Panel1", 115, 372, 235, 17);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(1);
  ProgressBar1 = Place(new QProgressBar(Panel1), "ProgressBar1", 1, 1, 233, 15);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  Image4 = Place(new Picture(Panel4), "Image4", 352, 370, 20, 20);
  Image4->SetTransparent(true);
  Image4->Tag = -1;
  Image4->hide();

  BitBtn1 = Place(new QPushButton(Panel4), "BitBtn1", 144, 401, 177, 25);
  BitBtn1->setFont(SansFont(11, true));
  BitBtn1->setIconSize(QSize(19, 19));

  // The key field lies on the window itself, above the panel.
  RichEdit1 = Place(new QPlainTextEdit(this), "RichEdit1", 46, 240, 377, 46);
  RichEdit1->setFont(SerifFont(13));
  RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
  RichEdit1->setWordWrapMode(QTextOption::NoWrap);
  RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  RichEdit1->setTabChangesFocus(true);
  RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(500);

  // Keyboard order: key field, open folder, DOWNLOAD, CLOSE, list, and round.
  setTabOrder(RichEdit1, BitBtn1);
  setTabOrder(BitBtn1, Button1);
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, ComboBox1);

  ApplySkinShape();
}

void TForm1::BuildMenus() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Vloi1 = PopupMenu1->addAction(QString());
  Vloi1->setObjectName(QStringLiteral("Vloi1"));
  Vybravetko1 = PopupMenu1->addAction(QString());
  Vybravetko1->setObjectName(QStringLiteral("Vybravetko1"));
  Zmaza1 = PopupMenu1->addAction(QString());
  Zmaza1->setObjectName(QStringLiteral("Zmaza1"));

  // The menu items carry their language index as data, the items' tag.
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
  const auto language = [this](const char* name, const char* caption, int tag) {
    QAction* item = PopupMenu2->addAction(QString::fromLatin1(caption));
    item->setObjectName(QString::fromLatin1(name));
    item->setData(tag);
    return item;
  };
  CZ1 = language("CZ1", "CZ", 1);
  DE1 = language("DE1", "DE", 3);
  EN1 = language("EN1", "EN", 2);
  SK1 = language("SK1", "SK", 0);
}

// The skin's fuchsia pixels are the window's colour key: they are cut out of
// the window, which leaves the octagon and lets the desktop show around it.
void TForm1::ApplySkinShape() {
  const QImage skin(art::kSkin);
  if (skin.isNull()) {
    clearMask();
    return;
  }
  // The skin is drawn centred, so its cut-out is too.
  const QRegion octagon(
      QBitmap::fromImage(skin.createMaskFromColor(kFuchsia.rgb(), Qt::MaskInColor)));
  setMask(octagon.translated((width() - skin.width()) / 2, (height() - skin.height()) / 2));
}

void TForm1::paintEvent(QPaintEvent*) {
  QPainter(this).fillRect(rect(), kFuchsia);
}

}  // namespace kalvoran
