#include "framework/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/ui_bridge.h"

namespace marrowdale {

namespace {

void runBox(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("marrowdaleMessageBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace

void afxMessageBox(const QString& text) {
    runBox(QApplication::activeWindow(), text,
           QString::fromUtf8(kCaptionApp.data(), static_cast<qsizetype>(kCaptionApp.size())),
           QMessageBox::Warning);
}

void captionedMessageBox(QWidget* owner, const QString& text, const QString& caption) {
    runBox(owner, text, caption, QMessageBox::NoIcon);
}

void plumetMessageBox(QWidget* owner, const QString& text) {
    captionedMessageBox(
        owner, text,
        QString::fromUtf8(kCaptionPlumet.data(), static_cast<qsizetype>(kCaptionPlumet.size())));
}

}  // namespace marrowdale
