// The fill skipped frames dialog (template 316). "Browse" picks the frame folder, starting in
// the current directory; "Auto fill frames" and "Fill in odd frames" run a fill on the folder
// text as typed. A fill runs beside the GUI thread: the window keeps painting, a progress box
// shows the numbers examined and the copies made, and its Cancel stops the fill after the file
// being made; a message then says how far it got. The dialog's buttons wait while a fill runs. GUI
// thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "framework/template_dialog.h"
#include "recorder/state.h"
#include "tools/fill.h"

namespace marrowdale {

class CDIALOG_FILL : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 316;
    static constexpr int kFolderEdit = 1010;
    static constexpr int kBrowse = 3;
    static constexpr int kOddFill = 5;
    static constexpr int kAutoFill = 6;

    // Shows the folder picker starting in `startFolder`; nothing when the user cancels.
    using FolderPicker = std::function<std::optional<QString>(const QString& startFolder)>;
    // Shows a fill's closing message.
    using MessageSink = std::function<void(const QString&)>;
    // Makes the file layer of one fill (on the fill's thread).
    using FilesFactory = std::function<std::unique_ptr<FillFiles>()>;

    explicit CDIALOG_FILL(CaptureSettings& settings = captureSettings(), QWidget* parent = nullptr);

    // Tests replace the picker and the message box.
    void setFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }
    void setMessageSink(MessageSink sink) { message_ = std::move(sink); }
    // Tests replace the files (the program's are PosixFillFiles).
    void setFilesFactory(FilesFactory factory) { files_ = std::move(factory); }

    bool filling() const { return filling_; }
    // What the last fill did (its counts and outcome).
    const FillReport& lastReport() const { return lastReport_; }

    // The system's folder picker: a directory chooser that shows hidden folders.
    static std::optional<QString> pickFolder(const QString& startFolder);

  protected:
    void onOK() override;
    void onCancel() override;

  private:
    void browse();
    void runFill(bool odd);

    CaptureSettings& settings_;
    FolderPicker picker_;
    MessageSink message_;
    FilesFactory files_;
    bool filling_ = false;
    FillReport lastReport_;
};

}  // namespace marrowdale
