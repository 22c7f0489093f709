#include "audio/gui/codec_list_dialog.h"

#include <QListWidget>
#include <string>
#include <vector>

#include "audio/codec_listing.h"

namespace marrowdale {

CCodecList::CCodecList(MediaFormatService& service, QWidget* parent)
    : TemplateDialog(kTemplateId, parent), service_(service) {
    // The list box carries the sort style, but every line is inserted at a given position,
    // which a sorting list would ignore: the lines keep the order in which they are produced.
    if (QListWidget* list = listBox(kList))
        list->setSortingEnabled(false);
    onCommand(kAudioBasic, [this] { relist(kCodecDetailAudio); });
    onCommand(kAudioVideoBasic, [this] { relist(kCodecDetailAudioVideo); });
}

bool CCodecList::onInitDialog() {
    TemplateDialog::onInitDialog();
    lineIndex_ = 0;
    detailLevel_ = kCodecDetailFull;
    listCodecs(/*firstListing=*/true);
    return true;
}

void CCodecList::relist(int detailLevel) {
    detailLevel_ = detailLevel;
    listResetContent(kList);
    lineIndex_ = 0;
    listCodecs(/*firstListing=*/false);
}

void CCodecList::listCodecs(bool firstListing) {
    const std::vector<std::string> lines =
        marrowdale::listCodecs(service_, detailLevel_, firstListing);
    for (const std::string& line : lines) {
        listInsertString(kList, lineIndex_,
                         QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
        ++lineIndex_;
    }
}

}  // namespace marrowdale
