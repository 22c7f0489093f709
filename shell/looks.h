// The application looks: fifteen appearances of the whole program, chosen with commands 205 to
// 219 of the View menu's "&Application Look" submenu. Each look is a Qt style, a palette for
// every window of the program, and a small style sheet for the main frame's bars and menus.
// The chosen look is kept in the setting "ApplicationLook" and applied again at the next start.
#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <span>

#include "framework/command_map.h"
#include "shell/docking.h"

class QMainWindow;
class QStyle;
class QSettings;

namespace marrowdale {

inline constexpr int kFirstLook = 205;
inline constexpr int kLastLook = 219;
inline constexpr int kDefaultLook = 219;  // Windows 7
inline constexpr const char* kApplicationLookKey = "ApplicationLook";

// The four colour schemes of the Office 2007 looks.
enum Office2007Style {
    kOffice2007Blue = 0,
    kOffice2007Black = 1,
    kOffice2007Aqua = 2,
    kOffice2007Silver = 3
};

// One row of the looks table.
struct LookRow {
    int id;
    const char* name;
    const char* styleKey;  // the Qt style: "Windows" or "Fusion"
    // The Office 2007 scheme the look sets; kKeepScheme for the looks that leave it as it was,
    // kNoScheme for the looks that are not Office 2007.
    int office2007Style;
    bool smartDocking;  // switches the docking mode to smart; otherwise leaves it alone
};
inline constexpr int kKeepScheme = -2;
inline constexpr int kNoScheme = -1;

// The looks 205 to 219 in order.
std::span<const LookRow> lookTable();
// The row of `id`; null outside 205 to 219.
const LookRow* findLook(int id);

// The colours of one appearance.
struct LookColors {
    QColor window, windowText, base, text, button, buttonText, highlight, highlightedText;
    QColor barTop, barBottom, barBorder, barText;
    QColor menuBarTop, menuBarBottom, menuBarText;
    QColor menuBack, menuText, menuSelect, menuSelectBorder, menuSelectText;
    QColor hoverTop, hoverBottom, hoverBorder, pressed;
    QColor statusTop, statusBottom, statusText;
    QColor workspace;  // background of the document area
    bool flatButtons;  // tool buttons drawn by the style itself (classic raised look)
    int radius;        // corner radius of the hot tool buttons
};

// The appearance of look `id` with the Office 2007 scheme `office2007Style` (used only by the
// Office 2007 looks). `id` must be a look.
LookColors lookColors(int id, int office2007Style);
// The palette and the main frame's style sheet made from `colors`.
QPalette lookPalette(const LookColors& colors);
// The palette of the popup menus.
QPalette lookMenuPalette(const LookColors& colors);
QString lookStyleSheet(const LookColors& colors);

// The name of the Qt style under `style` ("Windows", "Fusion").
QString baseStyleName(const QStyle* style);

// The stored look: "ApplicationLook" of `settings`, or 219 when there is none or it is not a
// look.
int readStoredLook(const QSettings& settings);

// The looks of one main frame: applies them, keeps the current one and stores it.
class ApplicationLooks : public QObject {
    Q_OBJECT
  public:
    // `settings` must outlive this object. Nothing is applied until SelectApplicationLook.
    ApplicationLooks(QMainWindow& frame, QSettings& settings);
    ~ApplicationLooks() override;

    // The look shown now (the stored one before the first SelectApplicationLook).
    int applicationLook() const { return applicationLook_; }
    // The Office 2007 scheme in force.
    int office2007Style() const { return office2007Style_; }

    // Applies look `id` (205 to 219) to the whole program under a wait cursor, repaints the main
    // frame with all its bars at once and stores the id. Other ids are ignored.
    void SelectApplicationLook(int id);
    // The state of menu item `id`: a radio mark when it is the current look.
    void UpdateApplicationLookItem(int id, CommandUi& ui) const;

    // Binds commands 205 to 219 and their states in `map`.
    void bindCommands(CommandMap& map);

  signals:
    // After a look has been applied.
    void lookApplied(int id);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void repaintFrame();

    QPointer<QMainWindow> frame_;
    QSettings& settings_;
    int applicationLook_;
    int office2007Style_ = kOffice2007Blue;
    QPalette menuPalette_;
    bool hasMenuPalette_ = false;
};

}  // namespace marrowdale
