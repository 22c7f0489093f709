// The user image list: read from UserImages.bmp of the current directory, at most 819200 bytes;
// missing, oversized and unreadable files are ignored without a message.
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QtTest>

#include "resources/resources.h"
#include "tests/widget/common/modal_answerer.h"
#include "tests/widget/looks/looks_fixture.h"

using namespace marrowdale;
using marrowdale::testing::bmpStrip;
using marrowdale::testing::Session;

namespace {

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray paddedTo(QByteArray data, qsizetype size) {
    data.append(QByteArray(size - data.size(), '\0'));
    return data;
}

int visibleMessageBoxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            ++n;
    return n;
}

}  // namespace

class UserImagesTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
    }
    void cleanup() { dir_.reset(); }

    void files_data() {
        QTest::addColumn<QByteArray>("content");  // empty: no file
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("count");
        const QByteArray three = bmpStrip(3);
        QTest::newRow("missing") << QByteArray() << false << int(UserImagesResult::Missing) << 0;
        QTest::newRow("valid") << three << true << int(UserImagesResult::Loaded) << 3;
        QTest::newRow("exactly 819200 bytes")
            << paddedTo(three, 819200) << true << int(UserImagesResult::Loaded) << 3;
        QTest::newRow("819201 bytes")
            << paddedTo(three, 819201) << true << int(UserImagesResult::TooLarge) << 0;
        QTest::newRow("two megabytes")
            << paddedTo(three, 2 * 1024 * 1024) << true << int(UserImagesResult::TooLarge) << 0;
        QTest::newRow("empty") << QByteArray() << true << int(UserImagesResult::Unreadable) << 0;
        QTest::newRow("not a bitmap") << QByteArray("BM this is not a bitmap at all", 30) << true
                                      << int(UserImagesResult::Unreadable) << 0;
        QTest::newRow("cut short")
            << three.left(40) << true << int(UserImagesResult::Unreadable) << 0;
        QTest::newRow("narrower than a cell")
            << bmpStrip(1, 15) << true << int(UserImagesResult::Unreadable) << 0;
        QTest::newRow("lower than a cell")
            << bmpStrip(2, -1, 14) << true << int(UserImagesResult::Unreadable) << 0;
        QTest::newRow("partial last cell")
            << bmpStrip(2, 40) << true << int(UserImagesResult::Loaded) << 2;
    }
    void files() {
        QFETCH(QByteArray, content);
        QFETCH(bool, present);
        QFETCH(int, result);
        QFETCH(int, count);
        const QString path = dir_->filePath(QStringLiteral("UserImages.bmp"));
        if (present)
            QVERIFY(writeFile(path, content));
        UserImages images;
        QCOMPARE(int(images.load(path)), result);
        QCOMPARE(images.count(), count);
        QCOMPARE(images.isEmpty(), count == 0);

        // The same through a main frame started in that directory: no message, no images unless
        // the file was good.
        testing::ModalAnswerer answerer;
        Session session(QDir::current().filePath(QStringLiteral("settings.ini")));
        QCOMPARE(int(session.customizer->userImagesResult()), result);
        QCOMPARE(session.customizer->userImages().count(), count);
        QCoreApplication::processEvents();
        QVERIFY(answerer.texts.isEmpty());
        QCOMPARE(visibleMessageBoxes(), 0);
    }

    void directoryInsteadOfFile() {
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("UserImages.bmp")));
        UserImages images;
        QVERIFY(images.load(QStringLiteral("./UserImages.bmp")) != UserImagesResult::Loaded);
        QVERIFY(images.isEmpty());
    }

    void cellsAreCutLeftToRight() {
        const QByteArray data = bmpStrip(3);
        QImage strip;
        QVERIFY(strip.loadFromData(data, "BMP"));
        const std::vector<QPixmap> cells = UserImages::cut(strip);
        QCOMPARE(cells.size(), std::size_t(3));
        for (int i = 0; i < 3; ++i) {
            const QImage cell = cells[std::size_t(i)].toImage();
            QCOMPARE(cell.size(), QSize(16, 15));
            QCOMPARE(QColor(cell.pixel(5, 5)), QColor(i * 40, 200 - i * 40, 90));
            QCOMPARE(qAlpha(cell.pixel(0, 0)), 0);  // the grey is see-through
            QCOMPARE(qAlpha(cell.pixel(1, 0)), 255);
        }
        QVERIFY(UserImages::cut(QImage()).empty());
        UserImages images;
        QVERIFY(images.image(-1).isNull());
        QVERIFY(images.image(0).isNull());
    }

    void failedLoadKeepsEarlierList() {
        const QString good = dir_->filePath(QStringLiteral("good.bmp"));
        const QString big = dir_->filePath(QStringLiteral("big.bmp"));
        QVERIFY(writeFile(good, bmpStrip(2)));
        QVERIFY(writeFile(big, paddedTo(bmpStrip(4), 819201)));
        UserImages images;
        QCOMPARE(images.load(good), UserImagesResult::Loaded);
        QCOMPARE(images.load(big), UserImagesResult::TooLarge);
        QCOMPARE(images.count(), 2);
    }

    void imagesAreOfferedAndKept() {
        QVERIFY(writeFile(QStringLiteral("UserImages.bmp"), bmpStrip(3)));
        const QString ini = QDir::current().filePath(QStringLiteral("settings.ini"));
        {
            Session first(ini);
            QCOMPARE(first.customizer->userImages().count(), 3);
            QVERIFY(first.frame->executeCommand(res::ID_VIEW_CUSTOMIZE));
            CustomizeDialog* dialog = customizeDialogOf(*first.customizer);
            QVERIFY(dialog);
            QCOMPARE(dialog->imageList()->count(), 4);  // its own picture and three images
            QVERIFY(dialog->imageList()->isEnabled());
            dialog->categoryList()->setCurrentRow(dialog->categoryList()->count() - 1);
            for (int i = 0; i < dialog->commandList()->count(); ++i)
                if (dialog->commandList()->item(i)->data(Qt::UserRole).toInt() == res::ID_RECORD)
                    dialog->commandList()->setCurrentRow(i);
            dialog->imageList()->setCurrentRow(2);  // the second user image
            dialog->applyImage();
            QCOMPARE(first.customizer->commandImage(res::ID_RECORD), 1);
            const QImage shown =
                first.frame->commandAction(res::ID_RECORD)->icon().pixmap(16, 15).toImage();
            QCOMPARE(QColor(shown.pixel(5, 5)), QColor(40, 160, 90));
            QVERIFY(!first.customizer->setCommandImage(res::ID_RECORD, 3));
            QVERIFY(!first.customizer->setCommandImage(4242, 0));
            first.close();
        }
        {
            Session second(ini);
            QCOMPARE(second.customizer->commandImage(res::ID_RECORD), 1);
            const QImage shown =
                second.frame->commandAction(res::ID_RECORD)->icon().pixmap(16, 15).toImage();
            QCOMPARE(QColor(shown.pixel(5, 5)), QColor(40, 160, 90));
            QVERIFY(second.customizer->setCommandImage(res::ID_RECORD, -1));
            QCOMPARE(second.customizer->commandImage(res::ID_RECORD), -1);
            second.close();
        }
        // Without the file the dialog offers no images.
        QVERIFY(QFile::remove(QStringLiteral("UserImages.bmp")));
        Session third(ini);
        QVERIFY(third.customizer->userImages().isEmpty());
        QVERIFY(third.frame->executeCommand(res::ID_VIEW_CUSTOMIZE));
        QVERIFY(!customizeDialogOf(*third.customizer)->imageList()->isEnabled());
        QCOMPARE(customizeDialogOf(*third.customizer)->imageList()->count(), 0);
    }
};

int runUserImagesTests(int argc, char** argv) {
    UserImagesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_user_images.moc"
