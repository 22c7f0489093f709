// "Export video...": the recording in a folder (the current directory unless another is picked)
// as one video file. The dialog names the recording folder, the video file (chosen with a save
// dialog, which asks before replacing a file) and the video: the JPEG frames copied as they are,
// or H.264. A frame period is asked for only when the recording has no recording.ini. The export
// runs beside the GUI thread (runWhileServing): a progress box counts the frames and its Cancel
// stops the export, which then leaves no file. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "tools/export.h"

class QLineEdit;
class QRadioButton;
class QLabel;
class QPushButton;

namespace marrowdale {

class ExportVideoDialog final : public QDialog {
    Q_OBJECT
  public:
    // Asks where to save, starting at `suggested`; nothing when the user cancels. The answer's
    // second part is true when the user agreed to replace an existing file.
    using SavePicker = std::function<std::optional<QString>(const QString& suggested)>;
    using FolderPicker = std::function<std::optional<QString>(const QString& start)>;
    // Shows the closing message of an export (or why it could not start).
    using MessageSink = std::function<void(const QString&)>;
    // What shows the folder of a finished export: the status bar notice.
    using Notice = std::function<void(const QString&)>;

    using ExporterMaker = std::function<std::unique_ptr<VideoExporter>()>;

    // `folder`: the recording folder it starts with (the current directory); `exporter`: the
    // platform's video writer.
    ExportVideoDialog(const QString& folder, ExporterMaker exporter, QWidget* parent = nullptr);
    ~ExportVideoDialog() override;

    // Tests replace the pickers and the message box.
    void setSavePicker(SavePicker picker) { savePicker_ = std::move(picker); }
    void setFolderPicker(FolderPicker picker) { folderPicker_ = std::move(picker); }
    void setMessageSink(MessageSink sink) { message_ = std::move(sink); }
    void setNotice(Notice notice) { notice_ = std::move(notice); }

    // The fields (also for tests).
    QLineEdit* folderEdit() const { return folderEdit_; }
    QLineEdit* outputEdit() const { return outputEdit_; }
    QLineEdit* periodEdit() const { return periodEdit_; }
    QRadioButton* h264Choice() const { return h264_; }
    QPushButton* exportButton() const { return exportButton_; }

    bool exporting() const { return exporting_; }
    const ExportReport& lastReport() const { return lastReport_; }

    // Runs the export with what the fields say (the Export button).
    void runExport();

  protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void folderChanged();
    void chooseOutput();
    void chooseFolder();

    QLineEdit* folderEdit_;
    QLineEdit* outputEdit_;
    QLineEdit* periodEdit_;
    QLabel* folderInfo_;
    QRadioButton* copy_;
    QRadioButton* h264_;
    QPushButton* exportButton_;
    bool replaceAgreed_ = false;  // the save dialog confirmed replacing the file named
    QString agreedPath_;
    bool exporting_ = false;
    ExportReport lastReport_;
    SavePicker savePicker_;
    FolderPicker folderPicker_;
    MessageSink message_;
    Notice notice_;
    ExporterMaker makeExporter_;
};

}  // namespace marrowdale
