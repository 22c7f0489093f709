// CAboutDlg: the About box, dialog template 100.
#pragma once

#include "framework/template_dialog.h"
#include "resources/resources.h"

namespace marrowdale {

class CAboutDlg : public TemplateDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr) : TemplateDialog(res::IDD_ABOUTBOX, parent) {}
};

}  // namespace marrowdale
