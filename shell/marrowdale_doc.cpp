#include "shell/marrowdale_doc.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>
#include <algorithm>

#include "framework/message_box.h"
#include "resources/resources.h"

namespace marrowdale {

CMarrowdaleDoc::CMarrowdaleDoc(QObject* parent) : QObject(parent) {
    commandMap().on(res::ID_FILE_SAVE, [this] { OnFileSave(); });
    commandMap().on(res::ID_FILE_SAVE_AS, [this] { OnFileSaveAs(); });
    commandMap().on(res::ID_FILE_CLOSE, [this] { OnFileClose(); });
}

// The views hold the document through a guarded pointer: they see it go.
CMarrowdaleDoc::~CMarrowdaleDoc() = default;

void CMarrowdaleDoc::setTitle(const QString& title) {
    title_ = title;
    emit titleChanged();
}

bool CMarrowdaleDoc::OnOpenDocument(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The document has no content: nothing is read.
    pathName_ = QFileInfo(path).absoluteFilePath();
    setTitle(QFileInfo(path).fileName());
    return true;
}

bool CMarrowdaleDoc::OnSaveDocument(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.close();
    if (file.error() != QFileDevice::NoError)
        return false;
    pathName_ = QFileInfo(path).absoluteFilePath();
    setTitle(QFileInfo(path).fileName());
    return true;
}

void CMarrowdaleDoc::addView(QWidget* view) {
    if (std::find(views_.begin(), views_.end(), view) == views_.end())
        views_.push_back(view);
}

void CMarrowdaleDoc::removeView(QWidget* view) {
    auto it = std::find(views_.begin(), views_.end(), view);
    if (it == views_.end())
        return;
    views_.erase(it);
    if (views_.empty())
        emit lastViewRemoved();
}

void CMarrowdaleDoc::OnFileSave() {
    if (pathName_.isEmpty()) {
        OnFileSaveAs();
        return;
    }
    if (!OnSaveDocument(pathName_))
        afxMessageBox(QStringLiteral("Failed to save document."));
}

void CMarrowdaleDoc::OnFileSaveAs() {
    QWidget* owner = views_.empty() ? nullptr : views_.front()->window();
    const QString path = QFileDialog::getSaveFileName(owner, QStringLiteral("Save As"),
                                                      pathName_.isEmpty() ? title_ : pathName_);
    if (path.isEmpty())
        return;
    if (!OnSaveDocument(path)) {
        afxMessageBox(QStringLiteral("Failed to save document."));
        return;
    }
    emit savedAs(pathName_);
}

void CMarrowdaleDoc::OnFileClose() {
    // Closing a frame destroys its view, which removes itself from views_.
    const std::vector<QWidget*> views = views_;
    for (QWidget* v : views)
        if (QWidget* frame = v->parentWidget())
            frame->close();
}

}  // namespace marrowdale
