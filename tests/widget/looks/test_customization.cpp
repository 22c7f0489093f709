// Toolbar customisation: the customise button, user toolbars and their persistence, the button
// lists, dropping and Alt+dragging buttons, the dialog, the panes menu and the basic commands.
#include <QComboBox>
#include <QDropEvent>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>
#include <QtTest>

#include "resources/resources.h"
#include "shell/marrowdale_app.h"
#include "tests/widget/looks/looks_fixture.h"

using namespace marrowdale;
using marrowdale::testing::Session;

namespace {

// The command ids a toolbar shows, 0 for a separator, without the customise button.
ButtonList shownButtons(QToolBar* bar) {
    ButtonList out;
    for (QAction* a : bar->actions()) {
        if (qobject_cast<QWidgetAction*>(a))
            continue;
        out.push_back(a->isSeparator() ? 0 : a->data().toInt());
    }
    return out;
}

QToolButton* buttonOf(QToolBar* bar, int commandId) {
    for (QAction* a : bar->actions())
        if (!a->isSeparator() && a->data().toInt() == commandId)
            return qobject_cast<QToolButton*>(bar->widgetForAction(a));
    return nullptr;
}

bool sendDrop(QToolBar* bar, QMimeData* mime, const QPoint& pos) {
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &drop);
    return drop.isAccepted();
}

void mouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers modifiers) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, modifiers);
    QCoreApplication::sendEvent(w, &e);
}

}  // namespace

class CustomizationTest : public QObject {
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

    void customizeButtonOnStandardToolbar() {
        Session session(ini_);
        QToolBar* bar = session.frame->toolBar();
        QCOMPARE(session.customizer->toolbar(kStandardToolbarId), bar);
        auto* button = bar->findChild<QToolButton*>(QStringLiteral("customizeButton"));
        QVERIFY(button);
        QCOMPARE(button, session.customizer->customizeButton(kStandardToolbarId));
        QCOMPARE(button->text(), QStringLiteral("Customize..."));
        // Last on the toolbar, after the 23 items of toolbar 129.
        QCOMPARE(bar->actions().size(), 24);
        QCOMPARE(bar->widgetForAction(bar->actions().last()), button);
        QCOMPARE(shownButtons(bar), res::loadToolbar(res::IDR_MAINFRAME_256));
        QVERIFY(button->menu());
        emit button->menu()->aboutToShow();
        const QList<QAction*> items = button->menu()->actions();
        QVERIFY(items.contains(session.frame->commandAction(res::ID_VIEW_CUSTOMIZE)));
        QVERIFY(session.frame->commandState(res::ID_VIEW_CUSTOMIZE).enabled);
        QCOMPARE(session.frame->commandAction(res::ID_VIEW_CUSTOMIZE)->text(),
                 QStringLiteral("Customize..."));
    }

    void quickCustomizationRemovesAndPutsBack() {
        Session session(ini_);
        QToolBar* bar = session.frame->toolBar();
        QMenu* menu = session.customizer->customizeButton(kStandardToolbarId)->menu();
        emit menu->aboutToShow();
        QMenu* addRemove = menu->actions().first()->menu();
        QVERIFY(addRemove);
        QList<QAction*> checks;
        for (QAction* a : addRemove->actions())
            if (a->isCheckable())
                checks << a;
        QCOMPARE(checks.size(), 21);
        for (QAction* a : checks)
            QVERIFY(a->isChecked());
        // Scissors off, then on again at its own place.
        QAction* cut = checks[3];
        QCOMPARE(cut->text(), QStringLiteral("Cut"));
        cut->setChecked(false);
        ButtonList expected = res::loadToolbar(res::IDR_MAINFRAME_256);
        expected.erase(expected.begin() + 4);
        QCOMPARE(session.customizer->buttons(kStandardToolbarId), expected);
        QCOMPARE(shownButtons(bar), expected);
        cut->setChecked(true);
        QCOMPARE(shownButtons(bar), res::loadToolbar(res::IDR_MAINFRAME_256));
    }

    void userToolbarSurvivesRestart() {
        int id = 0;
        {
            Session first(ini_);
            id = first.customizer->createUserToolbar(QStringLiteral("  My recording  "));
            QCOMPARE(id, 59432);
            QToolBar* bar = first.customizer->toolbar(id);
            QVERIFY(bar);
            QCOMPARE(bar->windowTitle(), QStringLiteral("My recording"));
            QVERIFY(bar->findChild<QToolButton*>(QStringLiteral("customizeButton")));
            QVERIFY(first.customizer->insertButton(id, 0, res::ID_RECORD));
            QVERIFY(first.customizer->insertButton(id, 1, res::ID_SELECT_AREA));
            QVERIFY(first.customizer->insertSeparator(id, 1));
            QCOMPARE(shownButtons(bar), (ButtonList{res::ID_RECORD, 0, res::ID_SELECT_AREA}));
            first.frame->addToolBar(Qt::RightToolBarArea, bar);
            first.frame->toolBar()->hide();
            first.close();
        }
        Session second(ini_);
        QCOMPARE(second.customizer->userToolbarIds(), std::vector<int>{id});
        QToolBar* bar = second.customizer->toolbar(id);
        QVERIFY(bar);
        QCOMPARE(bar->objectName(), QStringLiteral("userToolbar59432"));
        QCOMPARE(bar->windowTitle(), QStringLiteral("My recording"));
        QCOMPARE(second.customizer->buttons(id),
                 (ButtonList{res::ID_RECORD, 0, res::ID_SELECT_AREA}));
        QCOMPARE(shownButtons(bar), (ButtonList{res::ID_RECORD, 0, res::ID_SELECT_AREA}));
        QCOMPARE(second.frame->toolBarArea(bar), Qt::RightToolBarArea);
        QVERIFY(second.frame->toolBar()->isHidden());
        QVERIFY(!bar->isHidden());
        QVERIFY(bar->findChild<QToolButton*>(QStringLiteral("customizeButton")));
    }

    void standardButtonsSurviveRestart() {
        {
            Session first(ini_);
            QVERIFY(first.customizer->removeButton(kStandardToolbarId, 0));
            QVERIFY(first.customizer->insertButton(kStandardToolbarId, 2, res::ID_FIXED_SIZE));
            first.close();
        }
        Session second(ini_);
        ButtonList expected = res::loadToolbar(res::IDR_MAINFRAME_256);
        expected.erase(expected.begin());
        expected.insert(expected.begin() + 2, res::ID_FIXED_SIZE);
        QCOMPARE(second.customizer->buttons(kStandardToolbarId), expected);
        QCOMPARE(shownButtons(second.frame->toolBar()), expected);
        second.customizer->resetToolbar(kStandardToolbarId);
        QCOMPARE(shownButtons(second.frame->toolBar()), res::loadToolbar(res::IDR_MAINFRAME_256));
    }

    void atMostTenUserToolbars() {
        Session session(ini_);
        for (int i = 0; i < 10; ++i) {
            const int id = session.customizer->createUserToolbar();
            QCOMPARE(id, 59432 + i);
            QCOMPARE(session.customizer->toolbarName(id), QStringLiteral("Custom %1").arg(i + 1));
        }
        QCOMPARE(session.customizer->createUserToolbar(QStringLiteral("Eleventh")), 0);
        QCOMPARE(static_cast<int>(session.customizer->userToolbarIds().size()), 10);
        QVERIFY(session.customizer->deleteUserToolbar(59435));
        QCOMPARE(session.customizer->toolbar(59435), nullptr);
        QCOMPARE(session.customizer->createUserToolbar(), 59435);
        QCOMPARE(session.customizer->toolbarName(59435), QStringLiteral("Custom 4"));
    }

    void renameAndDeleteRules() {
        Session session(ini_);
        const int id = session.customizer->createUserToolbar(QStringLiteral("A"));
        QVERIFY(session.customizer->renameUserToolbar(id, QStringLiteral("B\nC")));
        QCOMPARE(session.customizer->toolbarName(id), QStringLiteral("B C"));
        QVERIFY(!session.customizer->renameUserToolbar(id, QStringLiteral("   ")));
        QCOMPARE(session.customizer->toolbarName(id), QStringLiteral("B C"));
        QVERIFY(session.customizer->renameUserToolbar(id, QString(300, QLatin1Char('x'))));
        QCOMPARE(session.customizer->toolbarName(id).size(), kMaxToolbarNameLength);
        // The standard toolbar can be neither renamed nor deleted.
        QVERIFY(!session.customizer->renameUserToolbar(kStandardToolbarId, QStringLiteral("X")));
        QVERIFY(!session.customizer->deleteUserToolbar(kStandardToolbarId));
        QCOMPARE(session.frame->toolBar()->windowTitle(), QStringLiteral("Standard"));
        QVERIFY(!session.customizer->deleteUserToolbar(59441));
        QVERIFY(!session.customizer->deleteUserToolbar(1));
        QVERIFY(session.customizer->deleteUserToolbar(id));
        QVERIFY(!session.customizer->deleteUserToolbar(id));
        // Unknown commands and toolbars are refused.
        QVERIFY(!session.customizer->insertButton(kStandardToolbarId, 0, 12345));
        QVERIFY(!session.customizer->insertButton(kStandardToolbarId, 0, res::ID_FILE_MRU_FILE1));
        QVERIFY(!session.customizer->insertButton(59440, 0, res::ID_RECORD));
        QVERIFY(!session.customizer->removeButton(kStandardToolbarId, 23));
        QVERIFY(!session.customizer->removeButton(kStandardToolbarId, -1));
    }

    void helperTables() {
        QCOMPARE(freeUserToolbarId({}), 59432);
        QCOMPARE(freeUserToolbarId({59432, 59433, 59435}), 59434);
        std::vector<int> all;
        for (int id = 59432; id <= 59441; ++id)
            all.push_back(id);
        QCOMPARE(freeUserToolbarId(all), 0);
        QCOMPARE(defaultUserToolbarName({}), QStringLiteral("Custom 1"));
        QCOMPARE(defaultUserToolbarName({QStringLiteral("Custom 1"), QStringLiteral("Custom 3")}),
                 QStringLiteral("Custom 2"));
        QCOMPARE(cleanToolbarName(QStringLiteral("\t x \r\n")), QStringLiteral("x"));
        QCOMPARE(cleanToolbarName(QString()), QString());
    }

    void parseButtonLists_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<ButtonList>("expected");
        QTest::newRow("empty") << QString() << ButtonList{};
        QTest::newRow("plain") << "57600,57601,0,32771" << ButtonList{57600, 57601, 0, 32771};
        QTest::newRow("spaces") << " 57600 , 32771 " << ButtonList{57600, 32771};
        QTest::newRow("unknown ids") << "1,57600,99999,-5,32771" << ButtonList{57600, 32771};
        QTest::newRow("duplicate") << "32771,32771,57600,32771" << ButtonList{32771, 57600};
        QTest::newRow("separators trimmed")
            << "0,0,57600,0,0,32771,0" << ButtonList{57600, 0, 32771};
        QTest::newRow("garbage") << "abc,,57600;32771,0x7000,57601" << ButtonList{57601};
        QTest::newRow("overflow") << "99999999999999999999,57600" << ButtonList{57600};
        QTest::newRow("placeholders") << "59392,57616,57600" << ButtonList{57600};
    }
    void parseButtonLists() {
        QFETCH(QString, text);
        QFETCH(ButtonList, expected);
        QCOMPARE(parseButtonList(text, isCustomizableCommand), expected);
        QCOMPARE(parseButtonList(formatButtonList(expected), isCustomizableCommand), expected);
    }

    void longListsAreCut() {
        QStringList many;
        for (int i = 0; i < 500; ++i)
            many << QStringLiteral("0") << QString::number(32771 + i % 27);
        const ButtonList list = parseButtonList(many.join(','), [](int) { return true; });
        QVERIFY(static_cast<int>(list.size()) <= kMaxToolbarButtons);
        QVERIFY(!list.empty());
    }

    void moveButtons_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<ButtonList>("expected");
        QTest::newRow("first to end") << 0 << 4 << true << ButtonList{2, 3, 4, 1};
        QTest::newRow("last to first") << 3 << 0 << true << ButtonList{4, 1, 2, 3};
        QTest::newRow("same place") << 1 << 1 << true << ButtonList{1, 2, 3, 4};
        QTest::newRow("just after itself") << 1 << 2 << true << ButtonList{1, 2, 3, 4};
        QTest::newRow("one right") << 1 << 3 << true << ButtonList{1, 3, 2, 4};
        QTest::newRow("from out of range") << 4 << 0 << false << ButtonList{1, 2, 3, 4};
        QTest::newRow("negative from") << -1 << 0 << false << ButtonList{1, 2, 3, 4};
        QTest::newRow("to out of range") << 0 << 5 << false << ButtonList{1, 2, 3, 4};
    }
    void moveButtons() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(bool, ok);
        QFETCH(ButtonList, expected);
        ButtonList list{1, 2, 3, 4};
        QCOMPARE(moveButton(list, from, list, to), ok);
        QCOMPARE(list, expected);
        ButtonList a{1, 2}, b{7, 8};
        QVERIFY(moveButton(a, 1, b, 1));
        QCOMPARE(a, ButtonList{1});
        QCOMPARE(b, (ButtonList{7, 2, 8}));
    }

    void dropsAddAndMoveButtons() {
        Session session(ini_);
        session.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(session.frame.get()));
        const int id = session.customizer->createUserToolbar(QStringLiteral("Drops"));
        QToolBar* user = session.customizer->toolbar(id);
        QCoreApplication::processEvents();

        // A command from the dialog's list dropped on the empty toolbar.
        std::unique_ptr<QMimeData> fromList(makeButtonMime({res::ID_RECORD_AUDIO, 0, -1}));
        QVERIFY(sendDrop(user, fromList.get(), QPoint(2, 2)));
        QCoreApplication::processEvents();
        QCOMPARE(shownButtons(user), ButtonList{res::ID_RECORD_AUDIO});

        // The standard toolbar's first button dropped before it: it leaves the standard one.
        QToolButton* target = buttonOf(user, res::ID_RECORD_AUDIO);
        QTRY_VERIFY(target->isVisible());  // laid out
        QVERIFY(target);
        std::unique_ptr<QMimeData> fromBar(
            makeButtonMime({res::ID_FILE_NEW, kStandardToolbarId, 0}));
        QVERIFY(sendDrop(user, fromBar.get(), target->geometry().topLeft() + QPoint(1, 1)));
        QCoreApplication::processEvents();
        QCOMPARE(shownButtons(user), (ButtonList{res::ID_FILE_NEW, res::ID_RECORD_AUDIO}));
        QCOMPARE(session.customizer->buttons(kStandardToolbarId).front(), res::ID_FILE_OPEN);
        QCOMPARE(shownButtons(session.frame->toolBar()).front(), res::ID_FILE_OPEN);

        // A payload that no longer matches its source (stale index) is a copy, not a move.
        std::unique_ptr<QMimeData> stale(
            makeButtonMime({res::ID_FILL_FRAMES, kStandardToolbarId, 0}));
        QVERIFY(sendDrop(user, stale.get(), QPoint(500, 2)));
        QCoreApplication::processEvents();
        QCOMPARE(session.customizer->buttons(kStandardToolbarId).front(), res::ID_FILE_OPEN);
        QCOMPARE(session.customizer->buttons(id).back(), res::ID_FILL_FRAMES);

        // Foreign or broken payloads are refused.
        QMimeData text;
        text.setText(QStringLiteral("32771"));
        QVERIFY(!sendDrop(user, &text, QPoint(2, 2)));
        for (const char* bad : {"", "32771", "32771 x 0", "12345 0 -1", "32771 0 -1 9",
                                "99999999999999999999 0 -1"}) {
            QMimeData broken;
            broken.setData(QLatin1String(kButtonMimeType), QByteArray(bad));
            QVERIFY2(!sendDrop(user, &broken, QPoint(2, 2)), bad);
        }
        QCOMPARE(session.customizer->buttons(id).size(), std::size_t(3));
    }

    void altDragMovesButtonWithoutRunningIt() {
        Session session(ini_);
        session.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(session.frame.get()));
        const int a = session.customizer->createUserToolbar(QStringLiteral("A"));
        const int b = session.customizer->createUserToolbar(QStringLiteral("B"));
        QVERIFY(session.customizer->insertButton(a, 0, res::ID_VIEW_STATUS_BAR));
        QVERIFY(session.customizer->insertButton(a, 1, res::ID_RECORD));
        QCoreApplication::processEvents();
        QToolBar* barB = session.customizer->toolbar(b);

        int drags = 0;
        session.customizer->runDrag = [&](QMimeData* mime, QWidget* source) {
            ++drags;
            std::unique_ptr<QMimeData> owned(mime);
            ButtonDrag drag;
            if (!readButtonMime(mime, drag) ||
                source != session.customizer->toolbar(drag.fromToolbar))
                return Qt::IgnoreAction;
            return sendDrop(barB, mime, QPoint(1, 1)) ? Qt::MoveAction : Qt::IgnoreAction;
        };

        QToolButton* button = buttonOf(session.customizer->toolbar(a), res::ID_VIEW_STATUS_BAR);
        QVERIFY(button);
        const QPoint c = button->rect().center();
        mouse(button, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::AltModifier);
        mouse(button, QEvent::MouseMove, c + QPoint(2, 0), Qt::LeftButton, Qt::AltModifier);
        QCOMPARE(drags, 0);  // not yet the drag distance
        mouse(button, QEvent::MouseMove, c + QPoint(30, 0), Qt::LeftButton, Qt::AltModifier);
        mouse(button, QEvent::MouseButtonRelease, c + QPoint(30, 0), Qt::NoButton, Qt::AltModifier);
        QCOMPARE(drags, 1);
        QCoreApplication::processEvents();
        QCOMPARE(session.customizer->buttons(a), ButtonList{res::ID_RECORD});
        QCOMPARE(session.customizer->buttons(b), ButtonList{res::ID_VIEW_STATUS_BAR});
        QCOMPARE(shownButtons(barB), ButtonList{res::ID_VIEW_STATUS_BAR});
        QVERIFY(!session.frame->statusBar()->isHidden());  // the command did not run

        // A plain click runs the command and starts no drag.
        QToolButton* moved = buttonOf(barB, res::ID_VIEW_STATUS_BAR);
        QVERIFY(moved);
        mouse(moved, QEvent::MouseButtonPress, moved->rect().center(), Qt::LeftButton,
              Qt::NoModifier);
        mouse(moved, QEvent::MouseButtonRelease, moved->rect().center(), Qt::NoButton,
              Qt::NoModifier);
        QCOMPARE(drags, 1);
        QVERIFY(session.frame->statusBar()->isHidden());

        // A button whose command is unavailable (no recorder window) moves just the same.
        QToolButton* disabled = buttonOf(session.frame->toolBar(), res::ID_RECORD);
        QVERIFY(disabled);
        QVERIFY(!disabled->isEnabled());
        QTRY_VERIFY(buttonOf(barB, res::ID_VIEW_STATUS_BAR)->isVisible());  // laid out
        mouse(disabled, QEvent::MouseButtonPress, QPoint(3, 3), Qt::LeftButton, Qt::AltModifier);
        mouse(disabled, QEvent::MouseMove, QPoint(3, 40), Qt::LeftButton, Qt::AltModifier);
        QCOMPARE(drags, 2);
        QCoreApplication::processEvents();
        QCOMPARE(shownButtons(barB), (ButtonList{res::ID_RECORD, res::ID_VIEW_STATUS_BAR}));
        QCOMPARE(std::count(session.customizer->buttons(kStandardToolbarId).begin(),
                            session.customizer->buttons(kStandardToolbarId).end(), res::ID_RECORD),
                 0);

        // Dragged off every toolbar, the button goes away.
        session.customizer->runDrag = [&](QMimeData* mime, QWidget*) {
            ++drags;
            delete mime;
            return Qt::IgnoreAction;
        };
        QToolButton* record = buttonOf(session.customizer->toolbar(a), res::ID_RECORD);
        QVERIFY(record);
        mouse(record, QEvent::MouseButtonPress, QPoint(3, 3), Qt::LeftButton, Qt::AltModifier);
        mouse(record, QEvent::MouseMove, QPoint(3, 40), Qt::LeftButton, Qt::AltModifier);
        QCOMPARE(drags, 3);
        QCoreApplication::processEvents();
        QCOMPARE(session.customizer->buttons(a), ButtonList{});
        QCOMPARE(shownButtons(session.customizer->toolbar(a)), ButtonList{});
    }

    void dialogOpensOnceAndEditsToolbars() {
        Session session(ini_);
        session.frame->show();
        QVERIFY(session.frame->executeCommand(res::ID_VIEW_CUSTOMIZE));
        QPointer<CustomizeDialog> dialog = customizeDialogOf(*session.customizer);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Customize"));
        QVERIFY(!dialog->isModal());
        QVERIFY(dialog->isVisible());
        QVERIFY(session.customizer->customizing());
        QVERIFY(session.frame->executeCommand(res::ID_VIEW_CUSTOMIZE));
        QCOMPARE(customizeDialogOf(*session.customizer), dialog.data());

        QStringList categories;
        for (int i = 0; i < dialog->categoryList()->count(); ++i)
            categories << dialog->categoryList()->item(i)->text();
        QCOMPARE(categories,
                 (QStringList{"File", "Edit", "View", "Window", "Command", "Capture area", "Help",
                              "Toolbar buttons", "All Commands"}));
        dialog->categoryList()->setCurrentRow(categories.indexOf("Command"));
        QListWidget* commands = dialog->commandList();
        QCOMPARE(commands->item(0)->text(), QStringLiteral("Select screen capture area"));
        commands->setCurrentRow(0);
        dialog->chooseToolbar(kStandardToolbarId);
        QCOMPARE(dialog->buttonList()->count(), 23);
        dialog->buttonList()->setCurrentRow(dialog->buttonList()->count() - 1);
        dialog->findChild<QPushButton*>(QStringLiteral("addButton"))->click();
        QCOMPARE(session.customizer->buttons(kStandardToolbarId).back(), res::ID_SELECT_AREA);
        QCOMPARE(dialog->buttonList()->count(), 24);
        QCOMPARE(dialog->buttonList()->currentRow(), 23);
        dialog->findChild<QPushButton*>(QStringLiteral("moveUpButton"))->click();
        QCOMPARE(session.customizer->buttons(kStandardToolbarId)[22], res::ID_SELECT_AREA);
        dialog->findChild<QPushButton*>(QStringLiteral("removeButton"))->click();
        QCOMPARE(session.customizer->buttons(kStandardToolbarId),
                 res::loadToolbar(res::IDR_MAINFRAME_256));

        // The Toolbars page: hide and show, user toolbars only renamed or deleted.
        QListWidget* toolbars = dialog->toolbarList();
        QCOMPARE(toolbars->count(), 1);
        toolbars->item(0)->setCheckState(Qt::Unchecked);
        QVERIFY(session.frame->toolBar()->isHidden());
        toolbars->item(0)->setCheckState(Qt::Checked);
        QVERIFY(!session.frame->toolBar()->isHidden());
        auto* rename = dialog->findChild<QPushButton*>(QStringLiteral("renameToolbarButton"));
        auto* remove = dialog->findChild<QPushButton*>(QStringLiteral("deleteToolbarButton"));
        auto* create = dialog->findChild<QPushButton*>(QStringLiteral("newToolbarButton"));
        QVERIFY(!rename->isEnabled());
        QVERIFY(!remove->isEnabled());
        const int id = session.customizer->createUserToolbar(QStringLiteral("Mine"));
        QCOMPARE(toolbars->count(), 2);
        QCOMPARE(dialog->toolbarChoice()->count(), 2);
        toolbars->setCurrentRow(1);
        QVERIFY(rename->isEnabled());
        QVERIFY(remove->isEnabled());
        for (int i = 1; i < 10; ++i)
            session.customizer->createUserToolbar();
        QVERIFY(!create->isEnabled());
        QVERIFY(session.customizer->deleteUserToolbar(id));
        QVERIFY(create->isEnabled());

        dialog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!dialog);
        QVERIFY(!session.customizer->customizing());
    }

    void panesMenuListsToolbars() {
        Session session(ini_);
        session.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(session.frame.get()));
        const int id = session.customizer->createUserToolbar(QStringLiteral("Extra"));
        QMenu* view = nullptr;
        for (QAction* a : session.frame->menuBar()->actions())
            if (a->text() == QLatin1String("&View"))
                view = a->menu();
        QVERIFY(view);
        QMenu* panes = nullptr;
        for (QAction* a : view->actions())
            if (a->text() == QLatin1String("&Toolbars and Docking Windows"))
                panes = a->menu();
        QVERIFY(panes);
        emit panes->aboutToShow();
        QStringList texts;
        for (QAction* a : panes->actions())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(texts, (QStringList{"Standard", "Extra", "-", "Customize..."}));
        QCOMPARE(panes->actions().last(), session.frame->commandAction(res::ID_VIEW_CUSTOMIZE));
        for (QAction* a : panes->actions())
            QVERIFY(a->data().toInt() != res::ID_VIEW_TOOLBAR || a->isSeparator() ||
                    a == session.frame->commandAction(res::ID_VIEW_CUSTOMIZE));
        QAction* extra = panes->actions()[1];
        QVERIFY(extra->isChecked());
        extra->trigger();
        QVERIFY(session.customizer->toolbar(id)->isHidden());

        // The same list on the bars' context menu.
        QStringList shown;
        QTimer::singleShot(50, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : menu->actions())
                    shown << (a->isSeparator() ? QStringLiteral("-") : a->text());
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                session.frame->toolBar()->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(session.frame->toolBar(), &event);
        QCOMPARE(shown, (QStringList{"Standard", "Extra", "-", "Customize..."}));

        // On the menu bar and the status bar too, but not in the document area.
        for (QWidget* pane : {static_cast<QWidget*>(session.frame->menuBar()),
                              static_cast<QWidget*>(session.frame->statusBar()),
                              session.frame->mdiArea()->viewport()}) {
            bool opened = false;
            QTimer closer;
            connect(&closer, &QTimer::timeout, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    opened = menu->objectName() == QLatin1String("panesMenu");
                    menu->close();
                }
            });
            closer.start(20);
            const QPoint at = pane->rect().center();
            QContextMenuEvent onPane(QContextMenuEvent::Mouse, at, pane->mapToGlobal(at));
            QCoreApplication::sendEvent(pane, &onPane);
            QTest::qWait(60);
            QCOMPARE(opened, pane != session.frame->mdiArea()->viewport());
        }
    }

    void hostileWorkspaceIsIgnored() {
        {
            QSettings s(ini_, QSettings::IniFormat);
            s.setValue("Workspace/StandardButtons", "x,57600,,0,0,12345,57600");
            s.setValue("Workspace/UserToolbars", "59432,1,abc,59441,59441,59442");
            s.setValue("Workspace/UserToolbar59432/Name", "");
            s.setValue("Workspace/UserToolbar59432/Buttons", "32771,junk");
            s.setValue("Workspace/UserToolbar59441/Name", QString(500, QLatin1Char('n')));
            s.setValue("Workspace/CommandImages", "32771:-4,abc,12345:1,57600:x");
            s.setValue("Workspace/State", QByteArray("not a state"));
            s.setValue("Workspace/Geometry", QByteArray("\x01\x02"));
            s.setValue("ApplicationLook", "nonsense");
        }
        Session session(ini_);
        QCOMPARE(session.customizer->buttons(kStandardToolbarId), ButtonList{57600});
        QCOMPARE(session.customizer->userToolbarIds(), (std::vector<int>{59432, 59441}));
        QCOMPARE(session.customizer->toolbarName(59432), QStringLiteral("Custom 1"));
        QCOMPARE(session.customizer->toolbarName(59441).size(), kMaxToolbarNameLength);
        QCOMPARE(session.customizer->buttons(59432), ButtonList{32771});
        QCOMPARE(session.customizer->commandImage(32771), -1);
        QCOMPARE(session.looks->applicationLook(), 219);
    }

    void basicCommandsInOrder() {
        const std::vector<int> expected{57600, 57601, 57603, 57607, 57665, 57635,
                                        57637, 57643, 57664, 59393, 59392, 208,
                                        209,   215,   217,   216,   218,   219};
        const auto basic = basicCommands();
        QCOMPARE(std::vector<int>(basic.begin(), basic.end()), expected);
        for (int id : basic)
            QVERIFY(id < 32771 || id > 36864);
    }

    void programStartsWithLooksAndCustomization() {
        {
            CMarrowdaleApp app(AppWorkers{}, PlatformServices{},
                               std::make_unique<QSettings>(ini_, QSettings::IniFormat));
            QVERIFY(app.InitInstance({}));
            CMainFrame* frame = app.mainFrame();
            auto* customizer = frame->findChild<ToolbarCustomizer*>();
            QVERIFY(customizer);
            QVERIFY(frame->toolBar()->findChild<QToolButton*>(QStringLiteral("customizeButton")));
            QCOMPARE(frame->commandState(219).mark, CommandUi::Mark::Radio);
            QVERIFY(frame->executeCommand(209));
            const int id = customizer->createUserToolbar(QStringLiteral("Program"));
            QVERIFY(customizer->insertButton(id, 0, res::ID_START_BOTH));
            frame->close();
        }
        CMarrowdaleApp app(AppWorkers{}, PlatformServices{},
                           std::make_unique<QSettings>(ini_, QSettings::IniFormat));
        QVERIFY(app.InitInstance({}));
        auto* customizer = app.mainFrame()->findChild<ToolbarCustomizer*>();
        QCOMPARE(app.mainFrame()->commandState(209).mark, CommandUi::Mark::Radio);
        QCOMPARE(customizer->userToolbarIds(), std::vector<int>{59432});
        QCOMPARE(customizer->buttons(59432), ButtonList{res::ID_START_BOTH});
        app.mainFrame()->close();
    }

    // Keys moved from one command to another, a table key taken off, and a new key: all found
    // again after a restart, and the other commands keep the accelerator table's keys.
    void shortcutsChangeAndSurviveRestart() {
        const QKeySequence ctrlN(Qt::CTRL | Qt::Key_N);
        const QKeySequence ctrlShiftS(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
        {
            Session first(ini_);
            ShortcutMap& c = first.customizer->shortcutMap();
            QCOMPARE(c.shortcuts(res::ID_FILE_NEW), QList<QKeySequence>{ctrlN});
            QCOMPARE(c.commandOfShortcut(ctrlN), res::ID_FILE_NEW);
            QVERIFY(c.assignShortcut(res::ID_RECORD, ctrlN));
            QCOMPARE(c.shortcuts(res::ID_FILE_NEW), QList<QKeySequence>{});
            QCOMPARE(c.commandOfShortcut(ctrlN), res::ID_RECORD);
            QVERIFY2(!c.assignShortcut(res::ID_RECORD, ctrlN), "it has them already");
            QVERIFY(!c.assignShortcut(res::ID_RECORD, QKeySequence()));
            QVERIFY(c.assignShortcut(res::ID_STOP_RECORDING, ctrlShiftS));
            QVERIFY(c.removeShortcut(res::ID_FILE_OPEN, QKeySequence(Qt::CTRL | Qt::Key_O)));
            QVERIFY(!c.removeShortcut(res::ID_FILE_OPEN, QKeySequence(Qt::CTRL | Qt::Key_O)));
            QCOMPARE(first.frame->commandAction(res::ID_STOP_RECORDING)->shortcuts(),
                     QList<QKeySequence>{ctrlShiftS});
            first.close();
        }
        {
            Session second(ini_);
            ShortcutMap& c = second.customizer->shortcutMap();
            QCOMPARE(c.shortcuts(res::ID_RECORD), QList<QKeySequence>{ctrlN});
            QCOMPARE(c.shortcuts(res::ID_FILE_NEW), QList<QKeySequence>{});
            QCOMPARE(c.shortcuts(res::ID_STOP_RECORDING), QList<QKeySequence>{ctrlShiftS});
            QCOMPARE(c.shortcuts(res::ID_FILE_OPEN), QList<QKeySequence>{});
            QCOMPARE(c.shortcuts(res::ID_EDIT_UNDO),
                     (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Z),
                                          QKeySequence(Qt::ALT | Qt::Key_Backspace)}));
            c.resetShortcuts();
            second.close();
        }
        Session third(ini_);
        QCOMPARE(third.customizer->shortcutMap().shortcuts(res::ID_FILE_NEW),
                 QList<QKeySequence>{ctrlN});
        QCOMPARE(third.customizer->shortcutMap().shortcuts(res::ID_RECORD), QList<QKeySequence>{});
        QCOMPARE(third.customizer->shortcutMap().shortcuts(res::ID_FILE_OPEN),
                 QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_O)});
    }

    void storedShortcutsAreCheckedWhenRead() {
        const auto known = [](int id) { return id == 100 || id == 200 || id == 300; };
        const auto keys = parseShortcuts(
            QStringLiteral("100=Ctrl+A|Ctrl+A|F5;999=Ctrl+B;200=;junk;=F2;300=Ctrl+Nonsense;"
                           "abc=F3;100=F9"),
            known);
        QCOMPARE(keys.size(), size_t{2});
        QCOMPARE(keys.at(100), (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_A),
                                                    QKeySequence(Qt::Key_F5)}));
        QCOMPARE(keys.at(200), QList<QKeySequence>{});
        // Only what differs from the defaults is written; an emptied command is written empty.
        const std::map<int, QList<QKeySequence>> defaults{
            {100, {QKeySequence(Qt::Key_F5)}}, {200, {QKeySequence(Qt::Key_F6)}}, {300, {}}};
        const std::map<int, QList<QKeySequence>> now{
            {100, {QKeySequence(Qt::Key_F5)}}, {200, {}}, {300, {QKeySequence(Qt::Key_F2)}}};
        const QString text = formatShortcuts(now, defaults);
        QCOMPARE(text, QStringLiteral("200=;300=F2"));
        QCOMPARE(parseShortcuts(text, known).at(300),
                 QList<QKeySequence>{QKeySequence(Qt::Key_F2)});
        // Keys that look like the separators, and a two-chord sequence, come back whole.
        const std::map<int, QList<QKeySequence>> odd{
            {100,
             {QKeySequence(Qt::CTRL | Qt::Key_Semicolon), QKeySequence(Qt::CTRL | Qt::Key_Bar),
              QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Percent)}},
            {200, {QKeySequence(Qt::CTRL | Qt::Key_K, Qt::CTRL | Qt::Key_Comma)}}};
        const auto back = parseShortcuts(formatShortcuts(odd, {}), known);
        QCOMPARE(back.size(), size_t{2});
        QCOMPARE(back.at(100), odd.at(100));
        QCOMPARE(back.at(200), odd.at(200));
    }

    // The Keyboard page: a command chosen, keys typed, shown as held by another command,
    // assigned, removed, and everything reset.
    void keyboardPageAssignsAndRemovesKeys() {
        Session session(ini_);
        session.frame->show();
        OpenToolbarCustomization(*session.customizer);
        CustomizeDialog* dialog = customizeDialogOf(*session.customizer);
        QVERIFY(dialog);
        QListWidget* commands = dialog->keyboardCommandList();
        const QList<QListWidgetItem*> found =
            commands->findItems(commandName(res::ID_RECORD), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QCOMPARE(commands->count(),
                 int(session.customizer->shortcutMap().keyboardCommands().size()));
        commands->setCurrentItem(found.first());
        QCOMPARE(dialog->currentKeysList()->count(), 0);
        dialog->newKeysEdit()->setKeySequence(QKeySequence(Qt::CTRL | Qt::Key_P));
        QCOMPARE(dialog->assignedToLabel()->text(),
                 QStringLiteral("Assigned to: %1").arg(commandName(res::ID_FILE_PRINT)));
        dialog->findChild<QPushButton*>(QStringLiteral("assignKeyButton"))->click();
        QCOMPARE(session.customizer->shortcutMap().shortcuts(res::ID_RECORD),
                 QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_P)});
        QCOMPARE(session.customizer->shortcutMap().shortcuts(res::ID_FILE_PRINT),
                 QList<QKeySequence>{});
        QCOMPARE(dialog->currentKeysList()->count(), 1);
        QVERIFY(dialog->newKeysEdit()->keySequence().isEmpty());
        dialog->currentKeysList()->setCurrentRow(0);
        dialog->findChild<QPushButton*>(QStringLiteral("removeKeyButton"))->click();
        QCOMPARE(session.customizer->shortcutMap().shortcuts(res::ID_RECORD),
                 QList<QKeySequence>{});
        QCOMPARE(dialog->currentKeysList()->count(), 0);
        dialog->findChild<QPushButton*>(QStringLiteral("resetKeysButton"))->click();
        QCOMPARE(session.customizer->shortcutMap().shortcuts(res::ID_FILE_PRINT),
                 QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_P)});
        dialog->close();
    }
};

int runCustomizationTests(int argc, char** argv) {
    CustomizationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_customization.moc"
