// CMarrowdaleDoc: a document without content. Open reads nothing (the file only has to be
// readable) and Save writes an empty file. It knows its views and is deleted with its last one.
#pragma once

#include <QObject>
#include <QString>
#include <vector>

#include "framework/command_map.h"

class QWidget;

namespace marrowdale {

class CMarrowdaleDoc : public QObject, public CommandTarget {
    Q_OBJECT
  public:
    explicit CMarrowdaleDoc(QObject* parent = nullptr);
    ~CMarrowdaleDoc() override;

    QString title() const { return title_; }
    void setTitle(const QString& title);
    QString pathName() const { return pathName_; }

    // Reads nothing; false when the file cannot be opened for reading.
    bool OnOpenDocument(const QString& path);
    // Writes an empty file; false when it cannot be written.
    bool OnSaveDocument(const QString& path);
    bool OnNewDocument() { return true; }

    // The windows that show the document (its views), in the order they joined. A view joins
    // when it is made and leaves when it goes.
    const std::vector<QWidget*>& views() const { return views_; }
    void addView(QWidget* view);
    void removeView(QWidget* view);

    // Save (57603): to the document's file, or as Save As when it has none.
    void OnFileSave();
    // Save As (57604): asks for a name.
    void OnFileSaveAs();
    // Close (57602): closes every window of the document.
    void OnFileClose();

  signals:
    void titleChanged();
    void lastViewRemoved();
    // A document was saved under a (new) name, for the recent-file list.
    void savedAs(const QString& path);

  private:
    QString title_;
    QString pathName_;
    std::vector<QWidget*> views_;
};

}  // namespace marrowdale
