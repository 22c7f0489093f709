#include "tools/gui/export_dialog.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <atomic>
#include <string>

#include "framework/background_work.h"
#include "framework/message_box.h"

namespace marrowdale {

namespace {

std::string localPath(const QString& text) {
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString fromLocal(const std::string& text) {
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

// "<folder>/recording.mkv", or "recording-2.mkv" ... when that exists.
QString suggestedOutput(const QString& folder) {
    const QDir dir(folder);
    QString name = QStringLiteral("recording.mkv");
    for (int n = 2; QFileInfo::exists(dir.filePath(name)) && n < 1000; ++n)
        name = QStringLiteral("recording-%1.mkv").arg(n);
    return dir.filePath(name);
}

QString progressText(std::uint64_t done, std::uint64_t total) {
    return QStringLiteral("Exporting frame %1 of %2").arg(done).arg(total);
}

}  // namespace

ExportVideoDialog::ExportVideoDialog(const QString& folder, ExporterMaker exporter, QWidget* parent)
    : QDialog(parent),
      folderEdit_(new QLineEdit(folder, this)),
      outputEdit_(new QLineEdit(suggestedOutput(folder), this)),
      periodEdit_(new QLineEdit(QStringLiteral("40"), this)),
      folderInfo_(new QLabel(this)),
      copy_(new QRadioButton(
          QStringLiteral("Copy the JPEG frames (Motion JPEG: fast, no quality lost, large)"),
          this)),
      h264_(
          new QRadioButton(QStringLiteral("Encode to H.264 (a third of the size or less)"), this)),
      exportButton_(new QPushButton(QStringLiteral("Export"), this)) {
    setObjectName(QStringLiteral("exportVideoDialog"));
    setWindowTitle(QStringLiteral("Marrowdale - Export video"));
    folderEdit_->setObjectName(QStringLiteral("exportFolder"));
    outputEdit_->setObjectName(QStringLiteral("exportOutput"));
    periodEdit_->setObjectName(QStringLiteral("exportPeriod"));
    copy_->setObjectName(QStringLiteral("exportCopy"));
    h264_->setObjectName(QStringLiteral("exportH264"));
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    copy_->setChecked(true);
    folderInfo_->setWordWrap(true);

    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    auto* saveAs = new QPushButton(QStringLiteral("Save as..."), this);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderEdit_, 1);
    folderRow->addWidget(browse);
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(outputEdit_, 1);
    outputRow->addWidget(saveAs);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Recording folder:"), folderRow);
    form->addRow(QString(), folderInfo_);
    form->addRow(QStringLiteral("Video file:"), outputRow);
    form->addRow(QStringLiteral("Video:"), copy_);
    form->addRow(QString(), h264_);
    form->addRow(QStringLiteral("Frame period (ms):"), periodEdit_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(exportButton_, QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    exportButton_->setDefault(true);

    savePicker_ = [this](const QString& suggested) -> std::optional<QString> {
        const QString chosen = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export video"), suggested,
            QStringLiteral("Matroska video (*.mkv);;MP4 video (*.mp4);;All files (*)"));
        if (chosen.isEmpty())
            return std::nullopt;
        return chosen;
    };
    folderPicker_ = [this](const QString& start) -> std::optional<QString> {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, QStringLiteral("Recording folder"), start);
        if (chosen.isEmpty())
            return std::nullopt;
        return chosen;
    };
    message_ = [](const QString& text) { afxMessageBox(text); };
    makeExporter_ = std::move(exporter);

    connect(browse, &QPushButton::clicked, this, &ExportVideoDialog::chooseFolder);
    connect(saveAs, &QPushButton::clicked, this, &ExportVideoDialog::chooseOutput);
    connect(exportButton_, &QPushButton::clicked, this, &ExportVideoDialog::runExport);
    connect(buttons, &QDialogButtonBox::rejected, this, &ExportVideoDialog::reject);
    connect(folderEdit_, &QLineEdit::textChanged, this, &ExportVideoDialog::folderChanged);
    folderChanged();
}

ExportVideoDialog::~ExportVideoDialog() = default;

void ExportVideoDialog::folderChanged() {
    ExportSource source;
    std::string error;
    if (!findExportSource(localPath(folderEdit_->text()), {}, &source, &error)) {
        folderInfo_->setText(QStringLiteral("Nothing to export: ") + fromLocal(error));
        periodEdit_->setEnabled(true);
        return;
    }
    QString text = QStringLiteral("%1 frames").arg(source.frames.size());
    text += source.soundPath.empty() ? QStringLiteral(", no sound")
                                     : QStringLiteral(", sound from ") +
                                           QFileInfo(fromLocal(source.soundPath)).fileName();
    if (!source.described)
        text += QStringLiteral("; no recording.ini: the frames are placed by the period below");
    folderInfo_->setText(text);
    // The period of a described recording is its own.
    periodEdit_->setEnabled(!source.described);
}

void ExportVideoDialog::chooseFolder() {
    if (const auto folder = folderPicker_(folderEdit_->text()))
        folderEdit_->setText(*folder);
}

void ExportVideoDialog::chooseOutput() {
    if (const auto chosen = savePicker_(outputEdit_->text())) {
        outputEdit_->setText(*chosen);
        // The save dialog asked before naming an existing file.
        replaceAgreed_ = true;
        agreedPath_ = *chosen;
    }
}

void ExportVideoDialog::closeEvent(QCloseEvent* event) {
    if (exporting_) {
        event->ignore();  // the close box waits for the export too
        return;
    }
    QDialog::closeEvent(event);
}

void ExportVideoDialog::reject() {
    if (exporting_)
        return;  // the dialog closes once the export has ended
    QDialog::reject();
}

void ExportVideoDialog::runExport() {
    if (exporting_)
        return;
    ExportFallback fallback;
    bool periodOk = false;
    const double periodMs = periodEdit_->text().trimmed().toDouble(&periodOk);
    if (periodOk && periodMs >= 1 && periodMs <= 400000)
        fallback.period100ns = static_cast<std::uint32_t>(periodMs * 10000.0);
    ExportSource source;
    std::string error;
    if (!findExportSource(localPath(folderEdit_->text()), fallback, &source, &error)) {
        message_(QStringLiteral("Nothing to export: ") + fromLocal(error));
        return;
    }
    ExportRequest request;
    request.outputPath = localPath(outputEdit_->text());
    request.codec = h264_->isChecked() ? ExportVideoCodec::kH264 : ExportVideoCodec::kCopy;
    request.replace = replaceAgreed_ && agreedPath_ == outputEdit_->text();

    // The progress box is window-modal: the dialog waits behind it.
    exporting_ = true;
    exportButton_->setEnabled(false);
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> cancel{false};
    ExportReport report;
    const std::uint64_t total = source.frames.size();

    QProgressDialog progress(progressText(0, total), QStringLiteral("Cancel"), 0,
                             static_cast<int>(std::min<std::uint64_t>(total, INT32_MAX)), this);
    progress.setObjectName(QStringLiteral("exportProgress"));
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    connect(&progress, &QProgressDialog::canceled, &progress, [&cancel] { cancel = true; });

    // The window (painting, the progress box) is served until the export has ended.
    std::unique_ptr<VideoExporter> exporter = makeExporter_ ? makeExporter_() : nullptr;
    progress.show();
    BackgroundWork work;
    work.work = [&](const NotifyGui& notify) {
        if (!exporter) {
            report.outcome = ExportOutcome::kFailed;
            report.error = "no video writer can be had here";
            return;
        }
        const ExportProgressFn onProgress = [&](const ExportProgress& p) {
            done.store(p.framesDone, std::memory_order_relaxed);
            notify();
            return !cancel.load(std::memory_order_relaxed);
        };
        report = exportRecording(*exporter, source, request, onProgress);
    };
    work.onNotify = [&] {
        const std::uint64_t n = done.load(std::memory_order_relaxed);
        progress.setLabelText(progressText(n, total));
        progress.setValue(static_cast<int>(std::min<std::uint64_t>(n, INT32_MAX)));
    };
    // The application quitting ends the loop early: the export then stops and leaves no file.
    work.onAbandoned = [&] { cancel = true; };
    runWhileServing(work);
    progress.close();

    lastReport_ = report;
    exporting_ = false;
    exportButton_->setEnabled(true);
    const QString message = fromLocal(exportMessage(report, request, source));
    message_(message);
    if (report.outcome == ExportOutcome::kFinished) {
        if (notice_)
            notice_(message);
        accept();
    }
}

}  // namespace marrowdale
