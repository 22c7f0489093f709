// The codec list dialog (template 310): the codecs and formats the media format service
// offers, one list item per line, in the order the lines are produced. It opens with the full
// listing (level 4, headed "System Codecs"); "Audio codecs basic info" relists at level 1 and
// "Audio and video codecs basic info" at level 3. GUI thread only.
#pragma once

#include "framework/template_dialog.h"
#include "platform/media_writer.h"

namespace marrowdale {

class CCodecList : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 310;
    static constexpr int kList = 1000;
    static constexpr int kAudioBasic = 1001;
    static constexpr int kAudioVideoBasic = 1002;

    explicit CCodecList(MediaFormatService& service, QWidget* parent = nullptr);

    int detailLevel() const { return detailLevel_; }

  protected:
    bool onInitDialog() override;

  private:
    void relist(int detailLevel);
    void listCodecs(bool firstListing);

    MediaFormatService& service_;
    int detailLevel_ = 4;
    int lineIndex_ = 0;
};

}  // namespace marrowdale
