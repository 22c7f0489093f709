#include "shell/looks.h"

#include <QApplication>
#include <QCursor>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>
#include <QToolBar>
#include <algorithm>
#include <array>

namespace marrowdale {

namespace {

constexpr std::array<LookRow, 15> kLooks = {{
    {205, "Windows 2000", "Windows", kNoScheme, false},
    {206, "Office XP", "Windows", kNoScheme, false},
    {207, "Windows XP", "Fusion", kNoScheme, false},
    {208, "Office 2003", "Fusion", kNoScheme, true},
    {209, "Visual Studio 2005", "Fusion", kNoScheme, true},
    {210, "Visual Studio 2008", "Fusion", kNoScheme, true},
    {211, "Office 2007", "Fusion", kKeepScheme, true},
    {212, "Office 2007", "Fusion", kKeepScheme, true},
    {213, "Office 2007", "Fusion", kKeepScheme, true},
    {214, "Office 2007", "Fusion", kKeepScheme, true},
    {215, "Office 2007 blue", "Fusion", kOffice2007Blue, true},
    {216, "Office 2007 black", "Fusion", kOffice2007Black, true},
    {217, "Office 2007 silver", "Fusion", kOffice2007Silver, true},
    {218, "Office 2007 aqua", "Fusion", kOffice2007Aqua, true},
    {219, "Windows 7", "Fusion", kNoScheme, true},
}};

QColor c(const char* hex) {
    return QColor(QLatin1String(hex));
}

// A light appearance with the classic black text: the base most looks start from.
LookColors lightBase() {
    LookColors l;
    l.window = c("#f0f0f0");
    l.windowText = c("#000000");
    l.base = c("#ffffff");
    l.text = c("#000000");
    l.button = c("#f0f0f0");
    l.buttonText = c("#000000");
    l.highlight = c("#3399ff");
    l.highlightedText = c("#ffffff");
    l.barTop = l.barBottom = c("#f0f0f0");
    l.barBorder = c("#a0a0a0");
    l.barText = c("#000000");
    l.menuBarTop = l.menuBarBottom = c("#f0f0f0");
    l.menuBarText = c("#000000");
    l.menuBack = c("#f0f0f0");
    l.menuText = c("#000000");
    l.menuSelect = c("#3399ff");
    l.menuSelectBorder = c("#3399ff");
    l.menuSelectText = c("#ffffff");
    l.hoverTop = l.hoverBottom = c("#dbe6f4");
    l.hoverBorder = c("#8da2c5");
    l.pressed = c("#c1d2ee");
    l.statusTop = l.statusBottom = c("#f0f0f0");
    l.statusText = c("#000000");
    l.workspace = c("#ababab");
    l.flatButtons = false;
    l.radius = 0;
    return l;
}

LookColors windows2000() {
    LookColors l = lightBase();
    l.window = l.button = c("#d4d0c8");
    l.highlight = c("#0a246a");
    l.barTop = l.barBottom = c("#d4d0c8");
    l.barBorder = c("#808080");
    l.menuBarTop = l.menuBarBottom = c("#d4d0c8");
    l.menuBack = c("#d4d0c8");
    l.menuSelect = l.menuSelectBorder = c("#0a246a");
    l.statusTop = l.statusBottom = c("#d4d0c8");
    l.workspace = c("#808080");
    l.flatButtons = true;
    return l;
}

LookColors officeXp() {
    LookColors l = lightBase();
    l.window = l.button = c("#eeede5");
    l.highlight = c("#b6bdd2");
    l.highlightedText = c("#000000");
    l.barTop = l.barBottom = c("#efede6");
    l.barBorder = c("#a7a6aa");
    l.menuBarTop = l.menuBarBottom = c("#eeede5");
    l.menuBack = c("#fcfcf9");
    l.menuSelect = c("#b6bdd2");
    l.menuSelectBorder = c("#0a246a");
    l.menuSelectText = c("#000000");
    l.hoverTop = l.hoverBottom = c("#b6bdd2");
    l.hoverBorder = c("#0a246a");
    l.pressed = c("#8592b5");
    l.statusTop = l.statusBottom = c("#eeede5");
    l.workspace = c("#9c9a94");
    return l;
}

LookColors windowsXp() {
    LookColors l = lightBase();
    l.window = l.button = c("#ece9d8");
    l.highlight = c("#316ac5");
    l.barTop = c("#fefefd");
    l.barBottom = c("#dcd9c9");
    l.barBorder = c("#c5c2b2");
    l.menuBarTop = l.menuBarBottom = c("#ece9d8");
    l.menuBack = c("#ffffff");
    l.menuSelect = l.menuSelectBorder = c("#316ac5");
    l.hoverTop = c("#fdfdfb");
    l.hoverBottom = c("#e6e3d3");
    l.hoverBorder = c("#c0bca6");
    l.pressed = c("#dedbcc");
    l.statusTop = l.statusBottom = c("#ece9d8");
    l.workspace = c("#6f87b8");
    l.radius = 3;
    return l;
}

LookColors office2003() {
    LookColors l = lightBase();
    l.window = c("#e4ecf7");
    l.button = c("#d5e4f7");
    l.highlight = c("#316ac5");
    l.barTop = c("#ddecfe");
    l.barBottom = c("#81a9e2");
    l.barBorder = c("#3b619c");
    l.menuBarTop = c("#9ebef5");
    l.menuBarBottom = c("#c3daf9");
    l.menuBack = c("#f6f6f6");
    l.menuSelect = c("#ffeec2");
    l.menuSelectBorder = c("#000080");
    l.menuSelectText = c("#000000");
    l.hoverTop = c("#fff8d9");
    l.hoverBottom = c("#ffd89c");
    l.hoverBorder = c("#000080");
    l.pressed = c("#fe8e4b");
    l.statusTop = c("#c3daf9");
    l.statusBottom = c("#9ebef5");
    l.workspace = c("#99b4e0");
    l.radius = 2;
    return l;
}

LookColors visualStudio2005() {
    LookColors l = lightBase();
    l.window = c("#f1f0ea");
    l.button = c("#eceade");
    l.highlight = c("#316ac5");
    l.barTop = c("#fcfcfa");
    l.barBottom = c("#dedcd0");
    l.barBorder = c("#c1bfb2");
    l.menuBarTop = c("#f4f2e8");
    l.menuBarBottom = c("#e5e3d7");
    l.menuBack = c("#fcfcf9");
    l.menuSelect = c("#c1d2ee");
    l.menuSelectBorder = c("#316ac5");
    l.menuSelectText = c("#000000");
    l.hoverTop = l.hoverBottom = c("#c1d2ee");
    l.hoverBorder = c("#316ac5");
    l.pressed = c("#98b5e2");
    l.statusTop = l.statusBottom = c("#eceade");
    l.workspace = c("#737373");
    return l;
}

LookColors visualStudio2008() {
    LookColors l = lightBase();
    l.window = c("#f0f0f0");
    l.button = c("#e9ecee");
    l.barTop = c("#fafbfd");
    l.barBottom = c("#c4cbdb");
    l.barBorder = c("#a0a7b6");
    l.menuBarTop = c("#f9fafc");
    l.menuBarBottom = c("#d0d6e3");
    l.menuBack = c("#f5f6f8");
    l.menuSelect = c("#dbe6f4");
    l.menuSelectBorder = c("#5e84c0");
    l.menuSelectText = c("#000000");
    l.hoverTop = c("#f0f5fc");
    l.hoverBottom = c("#cfdef3");
    l.hoverBorder = c("#5e84c0");
    l.pressed = c("#bcd2ef");
    l.statusTop = c("#e9ecf3");
    l.statusBottom = c("#cfd5e1");
    l.workspace = c("#9ba6bb");
    l.radius = 2;
    return l;
}

// The parts the four Office 2007 schemes share: the orange hot items.
LookColors office2007Common() {
    LookColors l = lightBase();
    l.highlight = c("#f8d66b");
    l.highlightedText = c("#000000");
    l.menuBack = c("#fafafa");
    l.menuSelect = c("#ffe793");
    l.menuSelectBorder = c("#dbce99");
    l.menuSelectText = c("#000000");
    l.hoverTop = c("#fff5cc");
    l.hoverBottom = c("#ffd86b");
    l.hoverBorder = c("#dbce99");
    l.pressed = c("#fbb868");
    l.radius = 3;
    return l;
}

LookColors office2007(int scheme) {
    LookColors l = office2007Common();
    switch (scheme) {
        case kOffice2007Black:
            l.window = c("#d6d9de");
            l.button = c("#cdd0d6");
            l.barTop = c("#646464");
            l.barBottom = c("#2f2f2f");
            l.barBorder = c("#1f1f1f");
            l.barText = c("#ffffff");
            l.menuBarTop = c("#4a4a4a");
            l.menuBarBottom = c("#1e1e1e");
            l.menuBarText = c("#ffffff");
            l.statusTop = c("#4a4a4a");
            l.statusBottom = c("#262626");
            l.statusText = c("#ffffff");
            l.workspace = c("#535353");
            break;
        case kOffice2007Silver:
            l.window = c("#eef0f3");
            l.button = c("#e4e7ec");
            l.windowText = l.buttonText = c("#2c3036");
            l.barTop = c("#f7f8fa");
            l.barBottom = c("#c6cbd4");
            l.barBorder = c("#a3a9b4");
            l.barText = c("#4c535c");
            l.menuBarTop = c("#eef0f3");
            l.menuBarBottom = c("#d2d6dc");
            l.menuBarText = c("#4c535c");
            l.statusTop = c("#e8eaee");
            l.statusBottom = c("#c9cdd5");
            l.statusText = c("#4c535c");
            l.workspace = c("#c3c7cf");
            break;
        case kOffice2007Aqua:
            l.window = c("#e4ebf2");
            l.button = c("#d9e3ed");
            l.barTop = c("#eef3f8");
            l.barBottom = c("#b6c9dd");
            l.barBorder = c("#8ba5c1");
            l.barText = c("#1e395b");
            l.menuBarTop = c("#dbe5ef");
            l.menuBarBottom = c("#bccddf");
            l.menuBarText = c("#1e395b");
            l.statusTop = c("#d4e0ec");
            l.statusBottom = c("#b3c6da");
            l.statusText = c("#1e395b");
            l.workspace = c("#a3b9cf");
            break;
        case kOffice2007Blue:
        default:
            l.window = c("#dfe9f5");
            l.button = c("#d8e5f5");
            l.barTop = c("#e3efff");
            l.barBottom = c("#afd2ff");
            l.barBorder = c("#6593cf");
            l.barText = c("#15428b");
            l.menuBarTop = c("#d7e6fa");
            l.menuBarBottom = c("#bfdbff");
            l.menuBarText = c("#15428b");
            l.statusTop = c("#c7dcf8");
            l.statusBottom = c("#a8c8f0");
            l.statusText = c("#15428b");
            l.workspace = c("#a5bfe1");
            break;
    }
    return l;
}

LookColors windows7() {
    LookColors l = lightBase();
    l.barTop = c("#fcfdfe");
    l.barBottom = c("#dfe8f3");
    l.barBorder = c("#b6bccc");
    l.menuBarTop = c("#ffffff");
    l.menuBarBottom = c("#e5ebf4");
    l.menuBack = c("#f5f5f5");
    l.menuSelect = c("#dcebfc");
    l.menuSelectBorder = c("#aecff7");
    l.menuSelectText = c("#000000");
    l.hoverTop = c("#eaf3fd");
    l.hoverBottom = c("#cfe3fb");
    l.hoverBorder = c("#7eb4ea");
    l.pressed = c("#bcdaf8");
    l.statusTop = c("#f6f8fb");
    l.statusBottom = c("#dde4ee");
    l.workspace = c("#ababab");
    l.radius = 3;
    return l;
}

QString gradient(const QColor& top, const QColor& bottom) {
    return QStringLiteral("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2)")
        .arg(top.name(), bottom.name());
}

// The classic style with a round mark for the chosen item of a group of menu items (the classic
// style itself draws a tick for both kinds).
class ClassicStyle : public QProxyStyle {
  public:
    explicit ClassicStyle(QStyle* base) : QProxyStyle(base) {}
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == PE_IndicatorMenuCheckMark && item &&
            item->checkType == QStyleOptionMenuItem::Exclusive) {
            const bool selected = option->state & State_Selected;
            const QColor colour =
                option->palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
            const int d = std::max(4, std::min(option->rect.width(), option->rect.height()) / 3);
            QRect dot(0, 0, d, d);
            dot.moveCenter(option->rect.center());
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(Qt::NoPen);
            painter->setBrush(colour);
            painter->drawEllipse(dot);
            painter->restore();
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

// Sets the wait cursor for the life of the object.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

QString baseStyleName(const QStyle* style) {
    if (const auto* proxy = qobject_cast<const QProxyStyle*>(style))
        return baseStyleName(proxy->baseStyle());
    return style ? style->name() : QString();
}

std::span<const LookRow> lookTable() {
    return kLooks;
}

const LookRow* findLook(int id) {
    if (id < kFirstLook || id > kLastLook)
        return nullptr;
    return &kLooks[static_cast<std::size_t>(id - kFirstLook)];
}

LookColors lookColors(int id, int office2007Style) {
    switch (id) {
        case 205:
            return windows2000();
        case 206:
            return officeXp();
        case 207:
            return windowsXp();
        case 208:
            return office2003();
        case 209:
            return visualStudio2005();
        case 210:
            return visualStudio2008();
        case 219:
            return windows7();
        default:
            return office2007(office2007Style);
    }
}

QPalette lookPalette(const LookColors& l) {
    QPalette p(l.button, l.window);
    p.setColor(QPalette::WindowText, l.windowText);
    p.setColor(QPalette::Base, l.base);
    p.setColor(QPalette::AlternateBase, l.window.lighter(104));
    p.setColor(QPalette::Text, l.text);
    p.setColor(QPalette::ButtonText, l.buttonText);
    p.setColor(QPalette::Highlight, l.highlight);
    p.setColor(QPalette::HighlightedText, l.highlightedText);
    p.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    p.setColor(QPalette::ToolTipText, QColor(0, 0, 0));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(128, 128, 128));
    return p;
}

QPalette lookMenuPalette(const LookColors& l) {
    QPalette p = lookPalette(l);
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(role, l.menuBack);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Active, role, l.menuText);
        p.setColor(QPalette::Inactive, role, l.menuText);
    }
    p.setColor(QPalette::Highlight, l.menuSelect);
    p.setColor(QPalette::HighlightedText, l.menuSelectText);
    return p;
}

QString lookStyleSheet(const LookColors& l) {
    QString css;
    css += QStringLiteral("QMenuBar { background: %1; color: %2; }\n")
               .arg(gradient(l.menuBarTop, l.menuBarBottom), l.menuBarText.name());
    css += QStringLiteral("QMenuBar::item { background: transparent; padding: 3px 7px; }\n");
    css +=
        QStringLiteral(
            "QMenuBar::item:selected { background: %1; color: %2; border: 1px solid %3; "
            "border-radius: %4px; }\n")
            .arg(gradient(l.hoverTop, l.hoverBottom), l.menuSelectText.name(), l.hoverBorder.name())
            .arg(l.radius);
    css += QStringLiteral("QToolBar { background: %1; border: 1px solid %2; spacing: 1px; }\n")
               .arg(gradient(l.barTop, l.barBottom), l.barBorder.name());
    if (!l.flatButtons) {
        css += QStringLiteral(
                   "QToolBar QToolButton { background: transparent; color: %1; border: 1px solid "
                   "transparent; border-radius: %2px; padding: 2px; }\n")
                   .arg(l.barText.name())
                   .arg(l.radius);
        css +=
            QStringLiteral("QToolBar QToolButton:hover { background: %1; border: 1px solid %2; }\n")
                .arg(gradient(l.hoverTop, l.hoverBottom), l.hoverBorder.name());
        css += QStringLiteral(
                   "QToolBar QToolButton:pressed, QToolBar QToolButton:checked { background: %1; "
                   "border: 1px solid %2; }\n")
                   .arg(l.pressed.name(), l.hoverBorder.name());
    }
    css += QStringLiteral(
        "QToolButton#customizeButton::menu-indicator { image: none; width: 0px; }\n");
    css += QStringLiteral("QStatusBar { background: %1; color: %2; }\n")
               .arg(gradient(l.statusTop, l.statusBottom), l.statusText.name());
    css += QStringLiteral("QStatusBar QLabel { color: %1; }\n").arg(l.statusText.name());
    css += QStringLiteral("QStatusBar QLabel:disabled { color: %1; }\n")
               .arg(l.statusText.name() == QLatin1String("#ffffff") ? QStringLiteral("#9a9a9a")
                                                                    : QStringLiteral("#a0a0a0"));
    return css;
}

int readStoredLook(const QSettings& settings) {
    bool ok = false;
    const int id = settings.value(QLatin1String(kApplicationLookKey)).toInt(&ok);
    if (!ok || !findLook(id))
        return kDefaultLook;
    return id;
}

ApplicationLooks::ApplicationLooks(QMainWindow& frame, QSettings& settings)
    : QObject(&frame),
      frame_(&frame),
      settings_(settings),
      applicationLook_(readStoredLook(settings)) {
    setObjectName(QStringLiteral("applicationLooks"));
    qApp->installEventFilter(this);
}

ApplicationLooks::~ApplicationLooks() {
    qApp->removeEventFilter(this);
}

bool ApplicationLooks::eventFilter(QObject* watched, QEvent* event) {
    // Menus made after the look was applied get its menu colours before they are first shown.
    if (event->type() == QEvent::Polish && hasMenuPalette_) {
        if (auto* menu = qobject_cast<QMenu*>(watched))
            menu->setPalette(menuPalette_);
    }
    return false;
}

void ApplicationLooks::SelectApplicationLook(int id) {
    const LookRow* look = findLook(id);
    if (!look || !frame_)
        return;
    WaitCursor wait;
    applicationLook_ = id;
    if (look->office2007Style >= 0)
        office2007Style_ = look->office2007Style;

    const LookColors colors = lookColors(id, office2007Style_);
    if (QStyle* style = QStyleFactory::create(QLatin1String(look->styleKey))) {
        if (style->name().compare(QLatin1String("Windows"), Qt::CaseInsensitive) == 0)
            QApplication::setStyle(new ClassicStyle(style));
        else
            QApplication::setStyle(style);
    }
    QApplication::setPalette(lookPalette(colors));
    // Menus keep the style's own drawing (radio and check marks) in the look's menu colours.
    menuPalette_ = lookMenuPalette(colors);
    hasMenuPalette_ = true;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* menu = qobject_cast<QMenu*>(w))
            menu->setPalette(menuPalette_);
    frame_->setStyleSheet(lookStyleSheet(colors));
    if (auto* area = qobject_cast<QMdiArea*>(frame_->centralWidget()))
        area->setBackground(colors.workspace);
    if (look->smartDocking)
        setDockingMode(*frame_, DockingMode::Smart);

    repaintFrame();
    settings_.setValue(QLatin1String(kApplicationLookKey), applicationLook_);
    settings_.sync();
    emit lookApplied(id);
}

void ApplicationLooks::repaintFrame() {
    // The frame with everything in it at once, and the toolbars that float in windows of their
    // own.
    frame_->update();
    frame_->repaint();
    for (QToolBar* bar : frame_->findChildren<QToolBar*>()) {
        if (bar->isWindow() && bar->isVisible()) {
            bar->update();
            bar->repaint();
        }
    }
}

void ApplicationLooks::UpdateApplicationLookItem(int id, CommandUi& ui) const {
    ui.enabled = true;
    ui.mark = id == applicationLook_ ? CommandUi::Mark::Radio : CommandUi::Mark::None;
}

void ApplicationLooks::bindCommands(CommandMap& map) {
    map.onRange(kFirstLook, kLastLook, [this](int id) { SelectApplicationLook(id); });
    map.onUpdateRange(kFirstLook, kLastLook,
                      [this](int id, CommandUi& ui) { UpdateApplicationLookItem(id, ui); });
}

}  // namespace marrowdale
