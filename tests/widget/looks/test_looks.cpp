// The application looks: the table, applying each look, keeping it across a restart, the radio
// mark, the Office 2007 schemes, the docking mode, the wait cursor and the repaint.
#include <QActionGroup>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QToolBar>
#include <QtTest>
#include <set>

#include "tests/widget/looks/looks_fixture.h"

using namespace marrowdale;
using marrowdale::testing::Session;

int runCustomizationTests(int argc, char** argv);
int runUserImagesTests(int argc, char** argv);

namespace {

QMenu* findSubMenu(QMenu* menu, const QString& title) {
    for (QAction* a : menu->actions())
        if (a->menu() && a->text() == title)
            return a->menu();
    return nullptr;
}

QMenu* applicationLookMenu(CMainFrame& frame) {
    for (QAction* top : frame.menuBar()->actions()) {
        if (!top->menu() || top->text() != QLatin1String("&View"))
            continue;
        return findSubMenu(top->menu(), QStringLiteral("&Application Look"));
    }
    return nullptr;
}

// Every command item of `menu` and its submenus.
void collectItems(QMenu* menu, QList<QAction*>& out) {
    for (QAction* a : menu->actions()) {
        if (a->menu())
            collectItems(a->menu(), out);
        else if (!a->isSeparator())
            out << a;
    }
}

// Watches the program while a look is applied: the cursor at the palette change, paints.
class Watcher : public QObject {
  public:
    QWidget* painted = nullptr;
    int paints = 0;
    bool sawPaletteChange = false;
    Qt::CursorShape cursorAtChange = Qt::ArrowCursor;
    bool overrideAtChange = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ApplicationPaletteChange && !sawPaletteChange) {
            sawPaletteChange = true;
            const QCursor* c = QApplication::overrideCursor();
            overrideAtChange = c != nullptr;
            if (c)
                cursorAtChange = c->shape();
        }
        if (event->type() == QEvent::Paint && watched == painted)
            ++paints;
        return false;
    }
};

}  // namespace

class LooksTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    QString ini_;

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        ini_ = dir_->filePath(QStringLiteral("settings.ini"));
        QVERIFY(QDir::setCurrent(dir_->path()));
    }
    void cleanup() { dir_.reset(); }

    void tableHasFifteenLooksInOrder() {
        const auto table = lookTable();
        QCOMPARE(static_cast<int>(table.size()), 15);
        const QStringList keys = QStyleFactory::keys();
        for (std::size_t i = 0; i < table.size(); ++i) {
            const LookRow& row = table[i];
            QCOMPARE(row.id, 205 + static_cast<int>(i));
            QCOMPARE(findLook(row.id), &row);
            QVERIFY2(keys.contains(QLatin1String(row.styleKey), Qt::CaseInsensitive), row.styleKey);
            // Windows 2000, Office XP and Windows XP leave the docking mode alone.
            QCOMPARE(row.smartDocking, row.id >= 208);
        }
        QCOMPARE(findLook(204), nullptr);
        QCOMPARE(findLook(220), nullptr);
        QCOMPARE(findLook(0), nullptr);
        QCOMPARE(findLook(-219), nullptr);
        QCOMPARE(findLook(215)->office2007Style, 0);
        QCOMPARE(findLook(216)->office2007Style, 1);
        QCOMPARE(findLook(217)->office2007Style, 3);
        QCOMPARE(findLook(218)->office2007Style, 2);
        for (int id = 211; id <= 214; ++id)
            QCOMPARE(findLook(id)->office2007Style, kKeepScheme);
    }

    void storedLookIsReadSafely_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("absent") << QVariant() << 219;
        QTest::newRow("205") << QVariant(205) << 205;
        QTest::newRow("212") << QVariant(212) << 212;
        QTest::newRow("219") << QVariant(219) << 219;
        QTest::newRow("text 208") << QVariant(QStringLiteral("208")) << 208;
        QTest::newRow("204 below") << QVariant(204) << 219;
        QTest::newRow("220 above") << QVariant(220) << 219;
        QTest::newRow("negative") << QVariant(-210) << 219;
        QTest::newRow("huge") << QVariant(QStringLiteral("99999999999999999999")) << 219;
        QTest::newRow("garbage") << QVariant(QStringLiteral("Windows 7")) << 219;
        QTest::newRow("empty") << QVariant(QString()) << 219;
    }
    void storedLookIsReadSafely() {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        {
            QSettings s(ini_, QSettings::IniFormat);
            if (stored.isValid())
                s.setValue(QLatin1String(kApplicationLookKey), stored);
        }
        QSettings s(ini_, QSettings::IniFormat);
        QCOMPARE(readStoredLook(s), expected);
        Session session(ini_);
        QCOMPARE(session.looks->applicationLook(), expected);
    }

    void eachLookAppliesAndPersists_data() {
        QTest::addColumn<int>("id");
        for (int id = kFirstLook; id <= kLastLook; ++id)
            QTest::newRow(qPrintable(QString::number(id))) << id;
    }
    void eachLookAppliesAndPersists() {
        QFETCH(int, id);
        const LookRow* look = findLook(id);
        QVERIFY(look);
        {
            Session first(ini_);
            // Start from a look that differs from the one chosen.
            first.frame->executeCommand(id == 205 ? 219 : 205);
            QVERIFY(first.frame->executeCommand(id));
            QCOMPARE(first.looks->applicationLook(), id);
            const LookColors colors = lookColors(id, first.looks->office2007Style());
            QCOMPARE(baseStyleName(QApplication::style()).toLower(),
                     QString::fromLatin1(look->styleKey).toLower());
            QCOMPARE(QApplication::palette().color(QPalette::Window), colors.window);
            QCOMPARE(QApplication::palette().color(QPalette::Highlight), colors.highlight);
            QCOMPARE(first.frame->styleSheet(), lookStyleSheet(colors));
            QCOMPARE(first.frame->mdiArea()->background().color(), colors.workspace);
            QCOMPARE(QSettings(ini_, QSettings::IniFormat).value("ApplicationLook").toInt(), id);
            first.close();
        }
        // Something else in between, so that the next start has to apply the look itself.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
        QApplication::setPalette(QPalette(Qt::magenta));
        Session second(ini_);
        QCOMPARE(second.looks->applicationLook(), id);
        const LookColors colors = lookColors(id, second.looks->office2007Style());
        QCOMPARE(baseStyleName(QApplication::style()).toLower(),
                 QString::fromLatin1(look->styleKey).toLower());
        QCOMPARE(QApplication::palette().color(QPalette::Window), colors.window);
        QCOMPARE(second.frame->styleSheet(), lookStyleSheet(colors));
        QCOMPARE(second.frame->commandState(id).mark, CommandUi::Mark::Radio);
    }

    void firstStartIsWindows7WithoutRadioMark() {
        Session session(ini_);
        QCOMPARE(session.looks->applicationLook(), 219);
        QCOMPARE(QSettings(ini_, QSettings::IniFormat).value("ApplicationLook").toInt(), 219);
        QMenu* menu = applicationLookMenu(*session.frame);
        QVERIFY(menu);
        QList<QAction*> items;
        collectItems(menu, items);
        QCOMPARE(items.size(), 10);
        for (QAction* a : items) {
            QVERIFY2(!a->isChecked(), qPrintable(a->text()));
            QVERIFY(a->data().toInt() != 219);
        }
        // Choosing a look puts the mark on it alone, shown as a radio mark.
        session.frame->executeCommand(217);
        int marked = 0;
        for (QAction* a : items) {
            if (a->isChecked()) {
                ++marked;
                QCOMPARE(a->data().toInt(), 217);
                QVERIFY(a->actionGroup() && a->actionGroup()->isExclusive());
            }
        }
        QCOMPARE(marked, 1);
        QCOMPARE(session.frame->commandState(217).mark, CommandUi::Mark::Radio);
        QCOMPARE(session.frame->commandState(216).mark, CommandUi::Mark::None);
        QVERIFY(session.frame->commandState(205).enabled);
        // Choosing the current look again keeps its mark.
        session.frame->commandAction(217)->trigger();
        QVERIFY(session.frame->commandAction(217)->isChecked());
    }

    void office2007Schemes_data() {
        QTest::addColumn<QList<int>>("commands");
        QTest::addColumn<int>("scheme");
        QTest::newRow("blue") << QList<int>{215} << 0;
        QTest::newRow("black") << QList<int>{216} << 1;
        QTest::newRow("silver") << QList<int>{217} << 3;
        QTest::newRow("aqua") << QList<int>{218} << 2;
        QTest::newRow("211 keeps aqua") << QList<int>{218, 219, 211} << 2;
        QTest::newRow("212 keeps silver") << QList<int>{217, 205, 212} << 3;
        QTest::newRow("213 keeps black") << QList<int>{216, 213} << 1;
        QTest::newRow("214 at first is blue") << QList<int>{214} << 0;
        QTest::newRow("blue after black") << QList<int>{216, 215} << 0;
    }
    void office2007Schemes() {
        QFETCH(QList<int>, commands);
        QFETCH(int, scheme);
        Session session(ini_);
        for (int id : commands)
            QVERIFY(session.frame->executeCommand(id));
        QCOMPARE(session.looks->office2007Style(), scheme);
        // The look shown is the one of the menu item with that scheme.
        const int fixedId = scheme == 0 ? 215 : scheme == 1 ? 216 : scheme == 3 ? 217 : 218;
        const LookColors colors = lookColors(fixedId, findLook(fixedId)->office2007Style);
        QCOMPARE(QApplication::palette().color(QPalette::Window), colors.window);
        QCOMPARE(session.frame->mdiArea()->background().color(), colors.workspace);
    }

    void schemesLookDifferent() {
        // Silver and aqua are not each other's colours, and every menu look is distinct.
        QVERIFY(lookColors(217, kOffice2007Silver).workspace !=
                lookColors(218, kOffice2007Aqua).workspace);
        std::set<QString> seen;
        const int menuLooks[] = {205, 206, 207, 208, 209, 210, 215, 216, 217, 218, 219};
        for (int id : menuLooks) {
            const LookRow* look = findLook(id);
            const int scheme = look->office2007Style >= 0 ? look->office2007Style : 0;
            const LookColors c = lookColors(id, scheme);
            const QString key = QString::fromLatin1(look->styleKey) + c.window.name() +
                                c.workspace.name() + lookStyleSheet(c);
            QVERIFY2(seen.insert(key).second, qPrintable(QString::number(id)));
        }
    }

    void dockingModeAsTheTableSays_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("switchesToSmart");
        for (int id = kFirstLook; id <= kLastLook; ++id)
            QTest::newRow(qPrintable(QString::number(id))) << id << (id >= 208);
    }
    void dockingModeAsTheTableSays() {
        QFETCH(int, id);
        QFETCH(bool, switchesToSmart);
        Session session(ini_);
        QCOMPARE(dockingModeOf(*session.frame), DockingMode::Smart);
        setDockingMode(*session.frame, DockingMode::Standard);
        session.frame->executeCommand(id);
        QCOMPARE(dockingModeOf(*session.frame),
                 switchesToSmart ? DockingMode::Smart : DockingMode::Standard);
        // From smart, every look stays smart.
        setDockingMode(*session.frame, DockingMode::Smart);
        session.frame->executeCommand(id);
        QCOMPARE(dockingModeOf(*session.frame), DockingMode::Smart);
        QVERIFY(session.frame->dockOptions().testFlag(QMainWindow::AnimatedDocks));
    }

    void barsDockEverywhereAndFloat() {
        Session session(ini_);
        QToolBar* bar = session.frame->toolBar();
        QCOMPARE(bar->allowedAreas(), Qt::AllToolBarAreas);
        QVERIFY(bar->isMovable());
        QVERIFY(bar->isFloatable());
        session.frame->addToolBar(Qt::LeftToolBarArea, bar);
        QCOMPARE(session.frame->toolBarArea(bar), Qt::LeftToolBarArea);
    }

    void applyingShowsWaitCursorAndRepaintsAtOnce() {
        Session session(ini_);
        session.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(session.frame.get()));
        QCoreApplication::processEvents();
        Watcher watcher;
        watcher.painted = session.frame->statusBar();
        qApp->installEventFilter(&watcher);
        session.looks->SelectApplicationLook(208);
        qApp->removeEventFilter(&watcher);
        QVERIFY(watcher.sawPaletteChange);
        QVERIFY(watcher.overrideAtChange);
        QCOMPARE(watcher.cursorAtChange, Qt::WaitCursor);
        // Painted before control came back, without the event loop running.
        QVERIFY(watcher.paints > 0);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void barsTakeTheLooksColours() {
        QSettings(ini_, QSettings::IniFormat).setValue("ApplicationLook", 216);
        Session session(ini_);
        session.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(session.frame.get()));
        QCoreApplication::processEvents();
        QCOMPARE(session.frame->messagePane()->palette().color(QPalette::WindowText),
                 lookColors(216, kOffice2007Black).statusText);
        for (int id : {216, 205, 219}) {
            session.looks->SelectApplicationLook(id);
            QCoreApplication::processEvents();
            const LookColors colors = lookColors(id, session.looks->office2007Style());
            QCOMPARE(session.frame->messagePane()->palette().color(QPalette::WindowText),
                     colors.statusText);
            QCOMPARE(session.frame->menuBar()->palette().color(QPalette::ButtonText),
                     colors.menuBarText);
            QMenu menu(session.frame.get());
            menu.ensurePolished();
            QCOMPARE(menu.palette().color(QPalette::Highlight), colors.menuSelect);
            QCOMPARE(menu.palette().color(QPalette::Window), colors.menuBack);
            QCOMPARE(menu.palette().color(QPalette::Text), colors.menuText);
        }
    }

    void radioMarkDiffersFromTick_data() {
        QTest::addColumn<int>("id");
        for (int id : {205, 206, 207, 208, 216, 219})
            QTest::newRow(qPrintable(QString::number(id))) << id;
    }
    void radioMarkDiffersFromTick() {
        QFETCH(int, id);
        Session session(ini_);
        session.looks->SelectApplicationLook(id);
        QMenu menu;
        QActionGroup group(&menu);
        group.setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        QAction* radio = menu.addAction(QStringLiteral("Same text"));
        radio->setCheckable(true);
        group.addAction(radio);
        radio->setChecked(true);
        QAction* tick = menu.addAction(QStringLiteral("Same text"));
        tick->setCheckable(true);
        tick->setChecked(true);
        menu.ensurePolished();
        menu.adjustSize();
        const QImage image = menu.grab().toImage();
        const QRect r = menu.actionGeometry(radio);
        const QRect t = menu.actionGeometry(tick);
        QCOMPARE(r.size(), t.size());
        QVERIFY(!r.isEmpty());
        const QImage radioRow = image.copy(r);
        const QImage tickRow = image.copy(t);
        QVERIFY(radioRow != tickRow);
    }

    void outOfRangeIdsAreIgnored() {
        Session session(ini_);
        session.looks->SelectApplicationLook(216);
        const QString sheet = session.frame->styleSheet();
        for (int id : {0, 204, 220, -1, 32771}) {
            session.looks->SelectApplicationLook(id);
            QCOMPARE(session.looks->applicationLook(), 216);
        }
        QCOMPARE(session.frame->styleSheet(), sheet);
        QCOMPARE(QSettings(ini_, QSettings::IniFormat).value("ApplicationLook").toInt(), 216);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failures = 0;
    {
        LooksTest looks;
        failures += QTest::qExec(&looks, argc, argv);
    }
    failures += runCustomizationTests(argc, argv);
    failures += runUserImagesTests(argc, argv);
    return failures == 0 ? 0 : 1;
}

#include "test_looks.moc"
