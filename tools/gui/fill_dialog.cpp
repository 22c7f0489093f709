#include "tools/gui/fill_dialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QProgressDialog>
#include <atomic>
#include <string>

#include "framework/background_work.h"
#include "framework/message_box.h"

namespace marrowdale {

namespace {

constexpr int kControlsWaitingDuringFill[] = {CDIALOG_FILL::kFolderEdit,
                                              CDIALOG_FILL::kBrowse,
                                              CDIALOG_FILL::kOddFill,
                                              CDIALOG_FILL::kAutoFill,
                                              IDOK,
                                              IDCANCEL};

QString progressText(std::uint32_t examined, std::uint32_t copied) {
    return QStringLiteral("Filling empty frame slots\nFrames examined: %1\nFrames copied: %2")
        .arg(examined)
        .arg(copied);
}

}  // namespace

CDIALOG_FILL::CDIALOG_FILL(CaptureSettings& settings, QWidget* parent)
    : TemplateDialog(kTemplateId, parent), settings_(settings) {
    picker_ = &CDIALOG_FILL::pickFolder;
    message_ = [](const QString& text) { afxMessageBox(text); };
    files_ = [] { return std::make_unique<PosixFillFiles>(); };
    onCommand(kBrowse, [this] { browse(); });
    onCommand(kOddFill, [this] { runFill(/*odd=*/true); });
    onCommand(kAutoFill, [this] { runFill(/*odd=*/false); });
}

std::optional<QString> CDIALOG_FILL::pickFolder(const QString& startFolder) {
    QFileDialog dialog(nullptr, QString(), startFolder);
    dialog.setObjectName(QStringLiteral("fillFolderPicker"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    dialog.setNameFilters({QStringLiteral("jpg (*.jpg *.jpeg)"),
                           QStringLiteral(".264 video (*.264)"), QStringLiteral("All (*.*)")});
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chosen.first());
}

void CDIALOG_FILL::browse() {
    const std::optional<QString> folder = picker_(QDir::currentPath());
    if (folder)
        setItemText(kFolderEdit, *folder);
}

void CDIALOG_FILL::runFill(bool odd) {
    if (filling_)
        return;
    // The folder text as typed, read with at most 499 characters; the image format of the
    // moment of the press.
    const QString folderText =
        itemText(kFolderEdit).left(static_cast<qsizetype>(kFillFolderTextLimit));
    const QByteArray folderBytes = QFile::encodeName(folderText);
    const std::string folder(folderBytes.constData(), static_cast<std::size_t>(folderBytes.size()));
    const ImageFormat imageFormat = settings_.imageFormat;

    filling_ = true;
    for (const int id : kControlsWaitingDuringFill)
        enableItem(id, false);

    std::atomic<std::uint32_t> examined{0};
    std::atomic<std::uint32_t> copied{0};
    std::atomic<bool> cancel{false};
    FillReport report;

    QProgressDialog progress(progressText(0, 0), QStringLiteral("Cancel"), 0, 0, this);
    progress.setObjectName(QStringLiteral("fillProgress"));
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    connect(&progress, &QProgressDialog::canceled, &progress, [&cancel] { cancel = true; });

    // The window (painting, the progress box) is served until the fill has ended.
    progress.show();
    BackgroundWork fill;
    fill.work = [&](const NotifyGui& notify) {
        const std::unique_ptr<FillFiles> files = files_();
        const FillProgressFn onProgress = [&](const FillProgress& p) {
            examined.store(p.examined, std::memory_order_relaxed);
            copied.store(p.copied, std::memory_order_relaxed);
            notify();
            return !cancel.load(std::memory_order_relaxed);
        };
        report = odd ? oddFill(*files, folder, imageFormat, onProgress)
                     : autoFill(*files, folder, imageFormat, onProgress);
    };
    fill.onNotify = [&] {
        progress.setLabelText(progressText(examined.load(std::memory_order_relaxed),
                                           copied.load(std::memory_order_relaxed)));
    };
    // The application quitting ends the loop early: the fill then stops after the file being
    // made.
    fill.onAbandoned = [&] { cancel = true; };
    runWhileServing(fill);
    progress.close();

    lastReport_ = report;
    for (const int id : kControlsWaitingDuringFill)
        enableItem(id, true);
    filling_ = false;

    // Finished, failed, or cancelled with how far it got.
    message_(QString::fromStdString(fillMessage(report)));
}

void CDIALOG_FILL::onOK() {
    if (filling_)
        return;  // the dialog closes once the fill has ended
    TemplateDialog::onOK();
}

void CDIALOG_FILL::onCancel() {
    if (filling_)
        return;
    TemplateDialog::onCancel();
}

}  // namespace marrowdale
