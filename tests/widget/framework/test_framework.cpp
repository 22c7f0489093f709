// The framework layer: dialog templates and the template dialog, command routing, the Qt UI
// bridge and the message boxes.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

#include "framework/command_map.h"
#include "framework/dialog_template.h"
#include "framework/message_box.h"
#include "framework/qt_ui_bridge.h"
#include "framework/template_dialog.h"
#include "framework/window_handle.h"
#include "tests/widget/common/modal_answerer.h"

using namespace marrowdale;

namespace {

const char* const kSample =
    "# two dialogs\n"
    "dialog 900 \"Sample \\\"one\\\"\" 200 100\n"
    "font 8 \"MS Shell Dlg\"\n"
    "style modalframe caption sysmenu\n"
    "ltext IDC_STATIC \"Width && &height\" 7 7 60 8\n"
    "edit 1030 \"640\" 70 5 40 12 number\n"
    "edit 1031 \"\" 70 20 40 12\n"
    "autoradio 1040 \"A\" 7 40 30 10 group\n"
    "autoradio 1041 \"B\" 7 52 30 10\n"
    "checkbox 1050 \"Tick\" 50 40 40 10 group\n"
    "autoradio 1042 \"C\" 100 40 30 10 group\n"
    "autoradio 1043 \"D\" 100 52 30 10\n"
    "listbox 1060 \"\" 7 65 80 30 vscroll\n"
    "groupbox IDC_STATIC \"Box\" 95 60 90 30\n"
    "defpushbutton IDOK \"OK\" 90 80 50 14 group\n"
    "pushbutton IDCANCEL \"Cancel\" 145 80 50 14\n"
    "pushbutton 1070 \"Preset\" 145 5 50 14\n"
    "end\n"
    "dialog 901 \"Second\" 10 10\n"
    "end\n";

DialogTemplate sample() {
    auto parsed = parseDialogTemplates(QString::fromUtf8(kSample));
    Q_ASSERT(parsed && parsed->size() == 2);
    return parsed->front();
}

class Target : public CommandTarget {};

}  // namespace

class FrameworkTest : public QObject {
    Q_OBJECT
  private slots:
    void parsesTemplates();
    void rejectsMalformedTemplates_data();
    void rejectsMalformedTemplates();
    void textToInt_data();
    void textToInt();
    void dialogUnits();
    void builtInTemplatesLoad();
    void dialogControlsById();
    void dialogRadioGroupsAndChecks();
    void dialogListBox();
    void dialogHandlersAndModalResult();
    void missingTemplateDoesNotShow();
    void commandRouting();
    void commandStates();
    void bridgeFromWorkerWaitsForGuiThread();
    void bridgeMessageBoxBlocksWorkerUntilOk();
    void bridgeOnGuiThreadRunsDirectly();
    void handlesAndTheOwnerOfAGeneralMessage();
    void bridgeShutDownReleasesWorker();
    void bridgeTimers();
    void messageBoxCaptions();
};

void FrameworkTest::parsesTemplates() {
    auto parsed = parseDialogTemplates(QString::fromUtf8(kSample));
    QVERIFY(parsed.has_value());
    QCOMPARE(parsed->size(), std::size_t(2));
    const DialogTemplate& t = parsed->front();
    QCOMPARE(t.id, 900);
    QCOMPARE(t.title, QStringLiteral("Sample \"one\""));
    QCOMPARE(t.cx, 200);
    QCOMPARE(t.cy, 100);
    QCOMPARE(t.fontPointSize, 8);
    QCOMPARE(t.fontFace, QStringLiteral("MS Shell Dlg"));
    QCOMPARE(t.styles, QStringList({"modalframe", "caption", "sysmenu"}));
    QCOMPARE(t.controls.size(), std::size_t(13));
    QCOMPARE(t.controls[0].id, -1);
    QCOMPARE(t.controls[0].text, QStringLiteral("Width && &height"));
    const ControlTemplate* edit = t.control(1030);
    QVERIFY(edit);
    QCOMPARE(int(edit->kind), int(ControlKind::Edit));
    QCOMPARE(edit->x, 70);
    QCOMPARE(edit->cy, 12);
    QVERIFY(edit->hasStyle("number"));
    QCOMPARE(t.control(1)->kind, ControlKind::DefPushButton);
    QCOMPARE(t.control(2)->kind, ControlKind::PushButton);
    QCOMPARE(parsed->back().id, 901);
    QVERIFY(parsed->back().controls.empty());
}

void FrameworkTest::rejectsMalformedTemplates_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("errorStart");
    QTest::newRow("unterminated string") << "dialog 1 \"x 1 1\nend"
                                         << "1:";
    QTest::newRow("bad escape") << "dialog 1 \"a\\q\" 1 1\nend"
                                << "1:";
    QTest::newRow("missing end") << "dialog 1 \"x\" 1 1\nltext 5 \"a\" 1 1 1 1"
                                 << "2:";
    QTest::newRow("outside dialog") << "ltext 5 \"a\" 1 1 1 1"
                                    << "1:";
    QTest::newRow("unknown kind") << "dialog 1 \"x\" 1 1\nslider 5 \"a\" 1 1 1 1\nend"
                                  << "2:";
    QTest::newRow("unknown style") << "dialog 1 \"x\" 1 1\nedit 5 \"\" 1 1 1 1 shiny\nend"
                                   << "2:";
    QTest::newRow("missing size") << "dialog 1 \"x\" 1 1\nedit 5 \"\" 1 1 1\nend"
                                  << "2:";
    QTest::newRow("number as text") << "dialog 1 \"x\" 1 1\nedit 5 \"\" 1 \"1\" 1 1\nend"
                                    << "2:";
    QTest::newRow("negative size") << "dialog 1 \"x\" 1 1\nedit 5 \"\" 1 1 -1 1\nend"
                                   << "2:";
    QTest::newRow("duplicate control") << "dialog 1 \"x\" 1 1\nedit 5 \"\" 1 1 1 1\n"
                                          "edit 5 \"\" 1 1 1 1\nend"
                                       << "3:";
    QTest::newRow("duplicate dialog") << "dialog 1 \"x\" 1 1\nend\ndialog 1 \"y\" 1 1\nend"
                                      << "3:";
    QTest::newRow("nested dialog") << "dialog 1 \"x\" 1 1\ndialog 2 \"y\" 1 1\nend\nend"
                                   << "2:";
    QTest::newRow("text after end") << "dialog 1 \"x\" 1 1\nend now"
                                    << "2:";
    QTest::newRow("title not quoted") << "dialog 1 x 1 1\nend"
                                      << "1:";
    QTest::newRow("bad font") << "dialog 1 \"x\" 1 1\nfont 0 \"A\"\nend"
                              << "2:";
    QTest::newRow("huge number") << "dialog 99999999999 \"x\" 1 1\nend"
                                 << "1:";
}

void FrameworkTest::rejectsMalformedTemplates() {
    QFETCH(QString, text);
    QFETCH(QString, errorStart);
    QString error;
    QVERIFY(!parseDialogTemplates(text, &error).has_value());
    QVERIFY2(error.startsWith(errorStart), qPrintable(error));
}

void FrameworkTest::textToInt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isSigned");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("ok");
    QTest::newRow("plain") << "40" << true << 40 << true;
    QTest::newRow("blanks") << "  12  " << true << 12 << true;
    QTest::newRow("negative") << "-5" << true << -5 << true;
    QTest::newRow("plus") << "+7" << true << 7 << true;
    QTest::newRow("negative unsigned") << "-5" << false << 0 << false;
    QTest::newRow("empty") << "" << true << 0 << false;
    QTest::newRow("blank") << "   " << true << 0 << false;
    QTest::newRow("trailing letter") << "12a" << true << 0 << false;
    QTest::newRow("two numbers") << "1 2" << true << 0 << false;
    QTest::newRow("sign only") << "-" << true << 0 << false;
    QTest::newRow("int max") << "2147483647" << true << 2147483647 << true;
    QTest::newRow("int min") << "-2147483648" << true << int(0x80000000u) << true;
    QTest::newRow("over int max") << "2147483648" << true << 0 << false;
    QTest::newRow("uint max") << "4294967295" << false << -1 << true;
    QTest::newRow("over uint max") << "4294967296" << false << 0 << false;
    QTest::newRow("very long") << QString(400, '9') << true << 0 << false;
    QTest::newRow("decimal") << "12.5" << true << 0 << false;
}

void FrameworkTest::textToInt() {
    QFETCH(QString, text);
    QFETCH(bool, isSigned);
    QFETCH(int, value);
    QFETCH(bool, ok);
    bool gotOk = !ok;
    QCOMPARE(dialogTextToInt(text, isSigned, &gotOk), value);
    QCOMPARE(gotOk, ok);
}

void FrameworkTest::dialogUnits() {
    const DialogBaseUnits base{7, 15};
    QCOMPARE(dluToPixelsX(4, base), 7);
    QCOMPARE(dluToPixelsX(200, base), 350);
    QCOMPARE(dluToPixelsX(1, base), 2);  // 1.75 rounds up
    QCOMPARE(dluToPixelsX(0, base), 0);
    QCOMPARE(dluToPixelsY(8, base), 15);
    QCOMPARE(dluToPixelsY(100, base), 188);  // 187.5 rounds up
    QCOMPARE(dluToPixelsY(-8, base), -15);
    // Proportions follow the font: a larger font gives a proportionally larger dialog.
    DialogTemplate t = sample();
    t.fontPointSize = 8;
    TemplateDialog small(t);
    t.fontPointSize = 16;
    TemplateDialog large(t);
    QVERIFY(large.baseUnits().x > small.baseUnits().x);
    QVERIFY(large.baseUnits().y > small.baseUnits().y);
    QCOMPARE(small.width(), dluToPixelsX(200, small.baseUnits()));
    QCOMPARE(small.height(), dluToPixelsY(100, small.baseUnits()));
    QCOMPARE(large.width(), dluToPixelsX(200, large.baseUnits()));
    const QWidget* edit = small.item(1030);
    QCOMPARE(edit->geometry(),
             QRect(dluToPixelsX(70, small.baseUnits()), dluToPixelsY(5, small.baseUnits()),
                   dluToPixelsX(40, small.baseUnits()), dluToPixelsY(12, small.baseUnits())));
}

void FrameworkTest::builtInTemplatesLoad() {
    for (int id : {100, 131}) {
        QString error;
        auto t = loadDialogTemplate(id, &error);
        QVERIFY2(t.has_value(), qPrintable(error));
        QCOMPARE(t->id, id);
    }
    TemplateDialog about(100);
    QVERIFY(about.templateLoaded());
    QCOMPARE(about.windowTitle(), QStringLiteral("About Marrowdale"));
    QVERIFY(qobject_cast<QPushButton*>(about.item(IDOK)));
    QVERIFY(qobject_cast<QPushButton*>(about.item(IDOK))->isDefault());
    QString error;
    QVERIFY(!loadDialogTemplate(4242, &error).has_value());
    QVERIFY(!error.isEmpty());
}

void FrameworkTest::dialogControlsById() {
    TemplateDialog dlg(sample());
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Sample \"one\""));
    QVERIFY(qobject_cast<QLineEdit*>(dlg.item(1030)));
    QVERIFY(qobject_cast<QRadioButton*>(dlg.item(1040)));
    QVERIFY(qobject_cast<QCheckBox*>(dlg.item(1050)));
    QVERIFY(qobject_cast<QListWidget*>(dlg.item(1060)));
    QVERIFY(!dlg.item(4242));
    QCOMPARE(dlg.itemText(1030), QStringLiteral("640"));
    QVERIFY(dlg.setItemText(1031, QStringLiteral(" -480 ")));
    bool ok = false;
    QCOMPARE(dlg.itemInt(1031, &ok), -480);
    QVERIFY(ok);
    QCOMPARE(dlg.itemInt(1031, &ok, false), 0);
    QVERIFY(!ok);
    QCOMPARE(dlg.itemInt(4242, &ok), 0);
    QVERIFY(!ok);
    QVERIFY(!dlg.setItemText(4242, "x"));
    QCOMPARE(dlg.itemText(4242), QString());
    QVERIFY(dlg.setItemInt(1030, -1, false));
    QCOMPARE(dlg.itemText(1030), QStringLiteral("4294967295"));
    QVERIFY(dlg.setItemInt(1030, -1));
    QCOMPARE(dlg.itemText(1030), QStringLiteral("-1"));
    // Static texts show "&&" as "&" and drop the mnemonic marker.
    const auto labels = dlg.findChildren<QLabel*>();
    bool found = false;
    for (QLabel* l : labels)
        found = found || l->text() == QStringLiteral("Width & height");
    QVERIFY(found);
    QVERIFY(dlg.enableItem(1070, false));
    QVERIFY(!dlg.isItemEnabled(1070));
    QVERIFY(!dlg.enableItem(4242, false));
}

void FrameworkTest::dialogRadioGroupsAndChecks() {
    TemplateDialog dlg(sample());
    auto* a = qobject_cast<QRadioButton*>(dlg.item(1040));
    auto* c = qobject_cast<QRadioButton*>(dlg.item(1042));
    QVERIFY(a->group() && c->group());
    QVERIFY(a->group() != c->group());  // "group" on 1042 starts a second group
    QVERIFY(dlg.checkRadioButton(1040, 1041, 1041));
    QCOMPARE(dlg.isButtonChecked(1041), 1);
    QCOMPARE(dlg.isButtonChecked(1040), 0);
    QVERIFY(dlg.checkButton(1042, 1));
    QCOMPARE(dlg.isButtonChecked(1041), 1);  // other group unchanged
    dlg.clickItem(1040);
    QCOMPARE(dlg.isButtonChecked(1040), 1);
    QCOMPARE(dlg.isButtonChecked(1041), 0);
    QVERIFY(dlg.checkButton(1040, 0));  // a radio can be unchecked by code
    QCOMPARE(dlg.isButtonChecked(1040), 0);
    QCOMPARE(dlg.isButtonChecked(1050), 0);
    QVERIFY(dlg.checkButton(1050, 1));
    QCOMPARE(dlg.isButtonChecked(1050), 1);
    QVERIFY(!dlg.checkButton(1030, 1));  // an edit has no check state
    QCOMPARE(dlg.isButtonChecked(4242), 0);
}

void FrameworkTest::dialogListBox() {
    TemplateDialog dlg(sample());
    QCOMPARE(dlg.listCount(1060), 0);
    QCOMPARE(dlg.listCurSel(1060), -1);
    QCOMPARE(dlg.listAddString(1060, "first"), 0);
    QCOMPARE(dlg.listAddString(1060, "second"), 1);
    QCOMPARE(dlg.listInsertString(1060, -1, "third"), 2);
    QCOMPARE(dlg.listInsertString(1060, 0, "zero"), 0);
    QCOMPARE(dlg.listInsertString(1060, 9, "bad"), -1);
    QCOMPARE(dlg.listCount(1060), 4);
    QCOMPARE(dlg.listText(1060, 3), QStringLiteral("third"));
    QCOMPARE(dlg.listText(1060, 4), QString());
    QVERIFY(dlg.listSetCurSel(1060, 2));
    QCOMPARE(dlg.listCurSel(1060), 2);
    QVERIFY(!dlg.listSetCurSel(1060, 4));
    QVERIFY(dlg.listResetContent(1060));
    QCOMPARE(dlg.listCount(1060), 0);
    QCOMPARE(dlg.listAddString(1030, "x"), -1);  // not a list box
    QCOMPARE(dlg.listCount(4242), -1);
}

namespace {
class OkCountingDialog : public TemplateDialog {
  public:
    explicit OkCountingDialog(const DialogTemplate& t) : TemplateDialog(t) {
        onCommand(1070, [this] {
            ++presets;
            setItemText(1031, "80");
        });
        onChange(1031, [this] { ++changes; });
    }
    int inits = 0, oks = 0, presets = 0, changes = 0;
    QString okText;

  protected:
    bool onInitDialog() override {
        ++inits;
        setItemText(1030, "40");
        return true;
    }
    void onOK() override {
        ++oks;
        okText = itemText(1031);
        TemplateDialog::onOK();
    }
};
}  // namespace

void FrameworkTest::dialogHandlersAndModalResult() {
    {
        OkCountingDialog dlg(sample());
        QTimer::singleShot(50, &dlg, [&] {
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.itemText(1030), QStringLiteral("40"));  // set by onInitDialog
            QTest::mouseClick(qobject_cast<QPushButton*>(dlg.item(1070)), Qt::LeftButton);
            QTest::mouseClick(qobject_cast<QPushButton*>(dlg.item(IDOK)), Qt::LeftButton);
        });
        QCOMPARE(dlg.doModal(), IDOK);
        QCOMPARE(dlg.inits, 1);
        QCOMPARE(dlg.presets, 1);
        QCOMPARE(dlg.oks, 1);
        QCOMPARE(dlg.okText, QStringLiteral("80"));
        QCOMPARE(dlg.changes, 1);
    }
    {
        OkCountingDialog dlg(sample());
        QTimer::singleShot(50, &dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        QCOMPARE(dlg.doModal(), IDCANCEL);
        QCOMPARE(dlg.oks, 0);
    }
    {
        OkCountingDialog dlg(sample());
        dlg.onCommand(IDCANCEL, [&] { dlg.endDialog(77); });
        QTimer::singleShot(50, &dlg, [&] {
            QTest::mouseClick(qobject_cast<QPushButton*>(dlg.item(IDCANCEL)), Qt::LeftButton);
        });
        QCOMPARE(dlg.doModal(), 77);
    }
}

void FrameworkTest::missingTemplateDoesNotShow() {
    TemplateDialog dlg(4242);
    QVERIFY(!dlg.templateLoaded());
    QVERIFY(!dlg.templateError().isEmpty());
    QCOMPARE(dlg.doModal(), -1);
    QVERIFY(!dlg.create());
    QVERIFY(!dlg.isVisible());
}

void FrameworkTest::commandRouting() {
    Target view, doc, frame, mainFrame, app;
    QStringList calls;
    view.commandMap().on(10, [&] { calls << "view10"; });
    doc.commandMap().on(10, [&] { calls << "doc10"; });
    doc.commandMap().on(11, [&] { calls << "doc11"; });
    frame.commandMap().on(12, [&] { calls << "frame12"; });
    mainFrame.commandMap().on(13, [&] { calls << "main13"; });
    app.commandMap().on(14, [&] { calls << "app14"; });
    app.commandMap().onRange(20, 29, [&](int id) { calls << QString("app%1").arg(id); });
    std::vector<CommandTarget*> chain = {&view, &doc, &frame, &mainFrame, &app};
    for (int id : {10, 11, 12, 13, 14, 25})
        QVERIFY(routeCommand(chain, id));
    QVERIFY(!routeCommand(chain, 15));
    QVERIFY(!routeCommand(chain, 30));
    QCOMPARE(calls, QStringList({"view10", "doc11", "frame12", "main13", "app14", "app25"}));
    // Without a view (no document window) the view's commands are gone.
    calls.clear();
    std::vector<CommandTarget*> noView = {nullptr, nullptr, nullptr, &mainFrame, &app};
    QVERIFY(!routeCommand(noView, 10));
    QVERIFY(routeCommand(noView, 13));
    QCOMPARE(calls, QStringList({"main13"}));
    // A handler may rebind its own command while it runs.
    view.commandMap().on(40, [&] { view.commandMap().on(40, [&] { calls << "second"; }); });
    QVERIFY(routeCommand(chain, 40));
    QVERIFY(routeCommand(chain, 40));
    QCOMPARE(calls.last(), QStringLiteral("second"));
}

void FrameworkTest::commandStates() {
    Target view, mainFrame;
    view.commandMap().on(1, [] {});
    mainFrame.commandMap().on(2, [] {});
    bool enable3 = false;
    mainFrame.commandMap().on(3, [] {});
    mainFrame.commandMap().onUpdate(3, [&](int, CommandUi& ui) { ui.enabled = enable3; });
    mainFrame.commandMap().onUpdateRange(205, 219, [](int id, CommandUi& ui) {
        ui.mark = id == 210 ? CommandUi::Mark::Radio : CommandUi::Mark::None;
    });
    std::vector<CommandTarget*> chain = {&view, nullptr, nullptr, &mainFrame, nullptr};
    QVERIFY(commandState(chain, 1).enabled);
    QVERIFY(commandState(chain, 2).enabled);
    QVERIFY(!commandState(chain, 3).enabled);
    enable3 = true;
    QVERIFY(commandState(chain, 3).enabled);
    QVERIFY(!commandState(chain, 4).enabled);  // nobody takes it
    QCOMPARE(int(commandState(chain, 210).mark), int(CommandUi::Mark::Radio));
    QCOMPARE(int(commandState(chain, 211).mark), int(CommandUi::Mark::None));
    std::vector<CommandTarget*> noView = {nullptr, nullptr, nullptr, &mainFrame, nullptr};
    QVERIFY(!commandState(noView, 1).enabled);
}

void FrameworkTest::bridgeFromWorkerWaitsForGuiThread() {
    QtUiBridge bridge;
    QWidget window;
    window.setWindowTitle("before");
    std::atomic<bool> sawTitle{false};
    std::atomic<bool> finished{false};
    const WindowHandle handle = toWindowHandle(&window);
    std::thread worker([&] {
        bridge.setWindowTitle(handle, "Marrowdale stopped");
        // The call returns only once the title has been set on the GUI thread.
        sawTitle = true;
        finished = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(finished.load(), 5000);
    worker.join();
    QVERIFY(sawTitle.load());
    QCOMPARE(window.windowTitle(), QStringLiteral("Marrowdale stopped"));
    // A destroyed window is skipped, not touched.
    WindowHandle dead = nullptr;
    {
        QWidget gone;
        dead = toWindowHandle(&gone);
    }
    std::atomic<bool> finished2{false};
    std::thread worker2([&] {
        bridge.setWindowTitle(dead, "x");
        finished2 = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(finished2.load(), 5000);
    worker2.join();
    QVERIFY(widgetFromHandle(dead) == nullptr);
}

void FrameworkTest::bridgeMessageBoxBlocksWorkerUntilOk() {
    QtUiBridge bridge;
    testing::ModalAnswerer answerer;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        bridge.messageBox(nullptr, "An error occured\nline two", kCaptionPlumet);
        returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 5000);
    worker.join();
    QCOMPARE(answerer.texts, QStringList({"An error occured\nline two"}));
    QCOMPARE(answerer.captions, QStringList({"Plumet"}));
}

void FrameworkTest::bridgeOnGuiThreadRunsDirectly() {
    QtUiBridge bridge;
    QWidget window;
    bridge.setWindowTitle(toWindowHandle(&window), "Marrowdale Recording");
    QCOMPARE(window.windowTitle(), QStringLiteral("Marrowdale Recording"));
    testing::ModalAnswerer answerer;
    bridge.generalMessage(nullptr, "timeBeginPeriod() failed");
    QCOMPARE(answerer.texts, QStringList({"timeBeginPeriod() failed"}));
    QCOMPARE(answerer.captions, QStringList({"Marrowdale"}));
}

// A handle reaches its widget only when toWindowHandle made it and the widget lives; the general
// message sits on its owner while the owner lives and becomes the application's box after.
void FrameworkTest::handlesAndTheOwnerOfAGeneralMessage() {
    QVERIFY(toWindowHandle(nullptr) == nullptr);
    QVERIFY(widgetFromHandle(nullptr) == nullptr);
    auto owner = std::make_unique<QWidget>();
    QVERIFY(widgetFromHandle(static_cast<WindowHandle>(owner.get())) == nullptr);
    const WindowHandle handle = toWindowHandle(owner.get());
    QCOMPARE(toWindowHandle(owner.get()), handle);
    QCOMPARE(widgetFromHandle(handle), owner.get());

    QtUiBridge bridge;
    QWidget* const ownerWidget = owner.get();
    QList<QWidget*> parents;
    QList<QMessageBox::Icon> icons;
    QStringList captions;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            parents << box->parentWidget();
            icons << box->icon();
            captions << box->windowTitle();
            box->done(QMessageBox::Ok);
        }
    });
    answer.start(10);
    bridge.generalMessage(handle, "on the owner");
    owner.reset();
    QVERIFY(widgetFromHandle(handle) == nullptr);
    bridge.generalMessage(handle, "owner gone");
    bridge.messageBox(handle, "owner gone", kCaptionPlumet);
    QCOMPARE(captions, QStringList({"Marrowdale", "Marrowdale", "Plumet"}));
    QCOMPARE(parents.size(), 3);
    QCOMPARE(parents[0], ownerWidget);
    QVERIFY(parents[2] == nullptr);
    QCOMPARE(icons, QList<QMessageBox::Icon>(
                        {QMessageBox::NoIcon, QMessageBox::Warning, QMessageBox::NoIcon}));
}

void FrameworkTest::bridgeShutDownReleasesWorker() {
    auto bridge = std::make_unique<QtUiBridge>();
    QWidget window;
    const WindowHandle handle = toWindowHandle(&window);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        bridge->setWindowTitle(handle, "never");
        returned = true;
    });
    // The GUI thread does not serve the request (no event loop turn); shutting down releases it.
    QTest::qSleep(50);
    bridge->shutDown();
    worker.join();
    QVERIFY(returned.load());
    QCOMPARE(window.windowTitle(), QString());
    // Later calls return at once and do nothing.
    std::thread worker2([&] { bridge->setWindowTitle(handle, "later"); });
    worker2.join();
    QCoreApplication::processEvents();
    QCOMPARE(window.windowTitle(), QString());
}

void FrameworkTest::bridgeTimers() {
    QtUiBridge bridge;
    QWidget frame;
    const WindowHandle handle = toWindowHandle(&frame);
    constexpr TimerId kTimer = 100;
    QList<QPair<WindowHandle, TimerId>> fired;
    Qt::HANDLE guiThread = QThread::currentThreadId();
    bool onGuiThread = true;
    bridge.setTimerHandler([&](WindowHandle w, TimerId id) {
        onGuiThread = onGuiThread && QThread::currentThreadId() == guiThread;
        fired << qMakePair(w, id);
    });
    TimerId armed = 0;
    std::thread worker([&] { armed = bridge.setTimer(handle, kTimer, 20); });
    QTRY_VERIFY_WITH_TIMEOUT(armed != 0, 5000);
    worker.join();
    QCOMPARE(armed, kTimer);
    QVERIFY(bridge.timerArmed(handle, kTimer));
    QTRY_VERIFY_WITH_TIMEOUT(fired.size() >= 2, 5000);  // it repeats until killed
    QVERIFY(onGuiThread);
    QCOMPARE(fired.first().first, handle);
    QCOMPARE(fired.first().second, kTimer);
    QVERIFY(bridge.killTimer(handle, kTimer));
    QVERIFY(!bridge.timerArmed(handle, kTimer));
    QVERIFY(!bridge.killTimer(handle, kTimer));  // already killed
    const int count = fired.size();
    QTest::qWait(80);
    QCOMPARE(fired.size(), count);
    QCOMPARE(bridge.setTimer(nullptr, kTimer, 200), TimerId(0));
    QVERIFY(!bridge.killTimer(nullptr, kTimer));
}

void FrameworkTest::messageBoxCaptions() {
    testing::ModalAnswerer answerer;
    afxMessageBox("general");
    plumetMessageBox(nullptr, "folder");
    captionedMessageBox(nullptr, "timer", "OnCommandStartBoth()");
    QCOMPARE(answerer.texts, QStringList({"general", "folder", "timer"}));
    QCOMPARE(answerer.captions, QStringList({"Marrowdale", "Plumet", "OnCommandStartBoth()"}));
}

QTEST_MAIN(FrameworkTest)
#include "test_framework.moc"
