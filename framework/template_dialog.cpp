#include "framework/template_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>

namespace marrowdale {

namespace {

const char* const kTemplateText = "marrowdaleTemplateText";
const char* const kControlId = "marrowdaleControlId";

// A static text shows "&&" as "&" and drops a single "&" (the mnemonic marker).
QString staticText(const QString& text, bool noPrefix) {
    if (noPrefix)
        return text;
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

DialogBaseUnits dialogBaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogBaseUnits b;
    b.x = (width / 26 + 1) / 2;
    b.y = fm.height();
    if (b.x <= 0)
        b.x = 1;
    if (b.y <= 0)
        b.y = 1;
    return b;
}

QFont dialogFont(const DialogTemplate& t) {
    QFont f = QApplication::font();
    const QString face = t.fontFace;
    const bool systemFace = face.startsWith(QLatin1String("MS Shell Dlg")) ||
                            face == QLatin1String("MS Sans Serif") || face.isEmpty();
    if (!systemFace)
        f.setFamily(face);
    f.setPointSize(t.fontPointSize > 0 ? t.fontPointSize : 8);
    return f;
}

TemplateDialog::TemplateDialog(int templateId, QWidget* parent)
    : QDialog(parent), templateId_(templateId) {
    QString error;
    if (auto t = loadDialogTemplate(templateId, &error)) {
        build(*t);
    } else {
        templateError_ = error;
    }
}

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent), templateId_(dialogTemplate.id) {
    build(dialogTemplate);
}

TemplateDialog::~TemplateDialog() = default;

void TemplateDialog::build(const DialogTemplate& t) {
    loaded_ = true;
    setWindowTitle(t.title);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (t.styles.contains(QLatin1String("sysmenu")))
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);

    const QFont font = dialogFont(t);
    setFont(font);
    base_ = dialogBaseUnits(font);
    const QSize size(dluToPixelsX(t.cx, base_), dluToPixelsY(t.cy, base_));
    if (t.styles.contains(QLatin1String("resizable")))
        resize(size);
    else
        setFixedSize(size);

    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& c : t.controls) {
        const bool group = c.hasStyle(QStringLiteral("group"));
        if (group || c.kind != ControlKind::AutoRadio) {
            if (group && c.kind == ControlKind::AutoRadio) {
                radioGroup = new QButtonGroup(this);
            } else if (group) {
                radioGroup = nullptr;
            }
        }
        QWidget* w = nullptr;
        const int id = c.id;
        switch (c.kind) {
            case ControlKind::LText:
            case ControlKind::CText:
            case ControlKind::RText: {
                auto* label =
                    new QLabel(staticText(c.text, c.hasStyle(QStringLiteral("noprefix"))), this);
                label->setTextFormat(Qt::PlainText);
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignTop |
                                    (c.kind == ControlKind::CText   ? Qt::AlignHCenter
                                     : c.kind == ControlKind::RText ? Qt::AlignRight
                                                                    : Qt::AlignLeft));
                w = label;
                break;
            }
            case ControlKind::Link: {
                auto* label = new QLabel(c.text, this);
                label->setTextFormat(Qt::RichText);
                label->setOpenExternalLinks(true);
                label->setWordWrap(true);
                w = label;
                break;
            }
            case ControlKind::Icon: {
                auto* label = new QLabel(this);
                QIcon icon = QApplication::windowIcon();
                if (icon.isNull())
                    icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
                label->setPixmap(icon.pixmap(32, 32));
                w = label;
                break;
            }
            case ControlKind::GroupBox: {
                auto* box = new QGroupBox(c.text, this);
                w = box;
                break;
            }
            case ControlKind::PushButton:
            case ControlKind::DefPushButton: {
                auto* b = new QPushButton(c.text, this);
                b->setAutoDefault(false);
                b->setDefault(c.kind == ControlKind::DefPushButton);
                connect(b, &QPushButton::clicked, this, [this, id] { dispatchCommand(id); });
                w = b;
                break;
            }
            case ControlKind::CheckBox: {
                auto* b = new QCheckBox(c.text, this);
                b->setTristate(c.hasStyle(QStringLiteral("3state")));
                connect(b, &QCheckBox::clicked, this, [this, id] { dispatchCommand(id); });
                w = b;
                break;
            }
            case ControlKind::AutoRadio: {
                auto* b = new QRadioButton(c.text, this);
                b->setAutoExclusive(false);
                if (!radioGroup)
                    radioGroup = new QButtonGroup(this);
                radioGroup->addButton(b);
                connect(b, &QRadioButton::clicked, this, [this, id] { dispatchCommand(id); });
                w = b;
                break;
            }
            case ControlKind::Edit: {
                if (c.hasStyle(QStringLiteral("multiline"))) {
                    auto* e = new QPlainTextEdit(this);
                    e->setPlainText(c.text);
                    e->setReadOnly(c.hasStyle(QStringLiteral("readonly")));
                    e->setLineWrapMode(c.hasStyle(QStringLiteral("autohscroll"))
                                           ? QPlainTextEdit::NoWrap
                                           : QPlainTextEdit::WidgetWidth);
                    e->setVerticalScrollBarPolicy(c.hasStyle(QStringLiteral("vscroll"))
                                                      ? Qt::ScrollBarAsNeeded
                                                      : Qt::ScrollBarAlwaysOff);
                    e->setHorizontalScrollBarPolicy(c.hasStyle(QStringLiteral("hscroll"))
                                                        ? Qt::ScrollBarAsNeeded
                                                        : Qt::ScrollBarAlwaysOff);
                    connect(e, &QPlainTextEdit::textChanged, this,
                            [this, id] { dispatchChange(id); });
                    w = e;
                } else {
                    auto* e = new QLineEdit(c.text, this);
                    e->setReadOnly(c.hasStyle(QStringLiteral("readonly")));
                    if (c.hasStyle(QStringLiteral("password")))
                        e->setEchoMode(QLineEdit::Password);
                    if (c.hasStyle(QStringLiteral("number")))
                        e->setValidator(new QRegularExpressionValidator(
                            QRegularExpression(QStringLiteral("[0-9]*")), e));
                    connect(e, &QLineEdit::textChanged, this, [this, id] { dispatchChange(id); });
                    w = e;
                }
                break;
            }
            case ControlKind::ListBox: {
                auto* l = new QListWidget(this);
                l->setSortingEnabled(c.hasStyle(QStringLiteral("sort")));
                if (c.hasStyle(QStringLiteral("multiplesel")))
                    l->setSelectionMode(QAbstractItemView::MultiSelection);
                else if (c.hasStyle(QStringLiteral("extendedsel")))
                    l->setSelectionMode(QAbstractItemView::ExtendedSelection);
                l->setHorizontalScrollBarPolicy(c.hasStyle(QStringLiteral("hscroll"))
                                                    ? Qt::ScrollBarAsNeeded
                                                    : Qt::ScrollBarAlwaysOff);
                connect(l, &QListWidget::currentRowChanged, this,
                        [this, id] { dispatchChange(id); });
                connect(l, &QListWidget::itemDoubleClicked, this,
                        [this, id] { dispatchDoubleClick(id); });
                w = l;
                break;
            }
            case ControlKind::ComboBox: {
                auto* cb = new QComboBox(this);
                cb->setEditable(c.hasStyle(QStringLiteral("dropdown")));
                connect(cb, &QComboBox::currentIndexChanged, this,
                        [this, id] { dispatchChange(id); });
                w = cb;
                break;
            }
        }
        w->setProperty(kTemplateText, c.text);
        w->setProperty(kControlId, id);
        if (c.kind == ControlKind::ComboBox) {
            // The template height of a combo box includes its drop-down list.
            w->setGeometry(dluToPixelsX(c.x, base_), dluToPixelsY(c.y, base_),
                           dluToPixelsX(c.cx, base_), w->sizeHint().height());
        } else {
            w->setGeometry(dluToPixelsX(c.x, base_), dluToPixelsY(c.y, base_),
                           dluToPixelsX(c.cx, base_), dluToPixelsY(c.cy, base_));
        }
        if (c.hasStyle(QStringLiteral("disabled")))
            w->setEnabled(false);
        if (c.hasStyle(QStringLiteral("hidden")))
            w->setVisible(false);
        if (c.kind == ControlKind::GroupBox)
            w->lower();
        if (id != -1)
            items_.insert(id, w);
    }
}

int TemplateDialog::doModal() {
    if (!loaded_)
        return -1;
    if (!initialised_) {
        initialised_ = true;
        onInitDialog();
    }
    return exec();
}

bool TemplateDialog::create() {
    if (!loaded_)
        return false;
    if (!initialised_) {
        initialised_ = true;
        onInitDialog();
    }
    show();
    return true;
}

void TemplateDialog::endDialog(int result) {
    QDialog::done(result);
}

bool TemplateDialog::onInitDialog() {
    return true;
}
void TemplateDialog::onOK() {
    endDialog(IDOK);
}
void TemplateDialog::onCancel() {
    endDialog(IDCANCEL);
}
void TemplateDialog::reject() {
    dispatchCommand(IDCANCEL);
}
void TemplateDialog::accept() {
    dispatchCommand(IDOK);
}

void TemplateDialog::dispatchCommand(int id) {
    if (auto it = commands_.constFind(id); it != commands_.constEnd()) {
        // Copy: the handler may rebind itself.
        const auto handler = it.value();
        handler();
        return;
    }
    if (id == IDOK)
        onOK();
    else if (id == IDCANCEL)
        onCancel();
}

void TemplateDialog::dispatchChange(int id) {
    if (auto it = changes_.constFind(id); it != changes_.constEnd()) {
        const auto handler = it.value();
        handler();
    }
}

void TemplateDialog::dispatchDoubleClick(int id) {
    if (auto it = doubleClicks_.constFind(id); it != doubleClicks_.constEnd()) {
        const auto handler = it.value();
        handler();
    }
}

void TemplateDialog::clickItem(int id) {
    QWidget* w = item(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->isEnabled())
            b->click();
        return;
    }
    dispatchCommand(id);
}

void TemplateDialog::onCommand(int id, std::function<void()> handler) {
    commands_.insert(id, std::move(handler));
}
void TemplateDialog::onChange(int id, std::function<void()> handler) {
    changes_.insert(id, std::move(handler));
}
void TemplateDialog::onDoubleClick(int id, std::function<void()> handler) {
    doubleClicks_.insert(id, std::move(handler));
}

QWidget* TemplateDialog::item(int id) const {
    return items_.value(id, nullptr);
}

QString TemplateDialog::itemText(int id) const {
    QWidget* w = item(id);
    if (!w)
        return {};
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w))
        return e->toPlainText();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    if (qobject_cast<QLabel*>(w))
        return w->property(kTemplateText).toString();
    return {};
}

bool TemplateDialog::setItemText(int id, const QString& text) {
    QWidget* w = item(id);
    if (!w)
        return false;
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        plain->setPlainText(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(text);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->isEditable())
            c->setEditText(text);
        else
            return false;
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->textFormat() == Qt::RichText)
            l->setText(text);
        else
            l->setText(staticText(text, false));
        l->setProperty(kTemplateText, text);
    } else {
        return false;
    }
    return true;
}

int TemplateDialog::itemInt(int id, bool* ok, bool isSigned) const {
    if (!item(id)) {
        if (ok)
            *ok = false;
        return 0;
    }
    return dialogTextToInt(itemText(id), isSigned, ok);
}

bool TemplateDialog::setItemInt(int id, int value, bool isSigned) {
    const QString text =
        isSigned ? QString::number(value) : QString::number(static_cast<unsigned>(value));
    return setItemText(id, text);
}

int TemplateDialog::isButtonChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(item(id));
    if (!b || !b->isCheckable())
        return 0;
    if (auto* cb = qobject_cast<QCheckBox*>(b)) {
        switch (cb->checkState()) {
            case Qt::Checked:
                return 1;
            case Qt::PartiallyChecked:
                return 2;
            default:
                return 0;
        }
    }
    return b->isChecked() ? 1 : 0;
}

bool TemplateDialog::checkButton(int id, int state) {
    auto* b = qobject_cast<QAbstractButton*>(item(id));
    if (!b || !b->isCheckable())
        return false;
    if (auto* cb = qobject_cast<QCheckBox*>(b)) {
        cb->setCheckState(state == 0   ? Qt::Unchecked
                          : state == 2 ? Qt::PartiallyChecked
                                       : Qt::Checked);
        return true;
    }
    QButtonGroup* group = b->group();
    const bool exclusive = group && group->exclusive();
    if (exclusive && state == 0)
        group->setExclusive(false);
    b->setChecked(state != 0);
    if (exclusive && state == 0)
        group->setExclusive(true);
    return true;
}

bool TemplateDialog::checkRadioButton(int first, int last, int check) {
    bool any = false;
    for (int id = first; id <= last; ++id) {
        if (id == check)
            continue;
        if (qobject_cast<QAbstractButton*>(item(id)))
            any = checkButton(id, 0) || any;
    }
    if (qobject_cast<QAbstractButton*>(item(check)))
        any = checkButton(check, 1) || any;
    return any;
}

bool TemplateDialog::enableItem(int id, bool enable) {
    QWidget* w = item(id);
    if (!w)
        return false;
    w->setEnabled(enable);
    return true;
}

bool TemplateDialog::isItemEnabled(int id) const {
    QWidget* w = item(id);
    return w && w->isEnabled();
}

bool TemplateDialog::showItem(int id, bool show) {
    QWidget* w = item(id);
    if (!w)
        return false;
    w->setVisible(show);
    return true;
}

QListWidget* TemplateDialog::listBox(int id) const {
    return qobject_cast<QListWidget*>(item(id));
}

int TemplateDialog::listAddString(int id, const QString& text) {
    QListWidget* l = listBox(id);
    if (!l)
        return -1;
    auto* it = new QListWidgetItem(text);
    l->addItem(it);
    return l->row(it);
}

int TemplateDialog::listInsertString(int id, int index, const QString& text) {
    QListWidget* l = listBox(id);
    if (!l)
        return -1;
    if (index < -1 || index > l->count())
        return -1;
    const int row = index == -1 ? l->count() : index;
    l->insertItem(row, text);
    return row;
}

bool TemplateDialog::listResetContent(int id) {
    QListWidget* l = listBox(id);
    if (!l)
        return false;
    const bool blocked = l->blockSignals(true);
    l->clear();
    l->blockSignals(blocked);
    return true;
}

int TemplateDialog::listCount(int id) const {
    QListWidget* l = listBox(id);
    return l ? l->count() : -1;
}

int TemplateDialog::listCurSel(int id) const {
    QListWidget* l = listBox(id);
    if (!l)
        return -1;
    const auto sel = l->selectedItems();
    if (sel.isEmpty())
        return -1;
    return l->currentRow();
}

bool TemplateDialog::listSetCurSel(int id, int index) {
    QListWidget* l = listBox(id);
    if (!l || index < -1 || index >= l->count())
        return false;
    const bool blocked = l->blockSignals(true);
    if (index == -1) {
        l->clearSelection();
        l->setCurrentRow(-1);
    } else {
        l->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        l->scrollToItem(l->item(index));
    }
    l->blockSignals(blocked);
    return true;
}

QString TemplateDialog::listText(int id, int index) const {
    QListWidget* l = listBox(id);
    if (!l || index < 0 || index >= l->count())
        return {};
    return l->item(index)->text();
}

QComboBox* TemplateDialog::comboBox(int id) const {
    return qobject_cast<QComboBox*>(item(id));
}

int TemplateDialog::comboAddString(int id, const QString& text) {
    QComboBox* c = comboBox(id);
    if (!c)
        return -1;
    const bool blocked = c->blockSignals(true);
    c->addItem(text);
    if (c->count() == 1 && !c->isEditable())
        c->setCurrentIndex(-1);
    c->blockSignals(blocked);
    return c->count() - 1;
}

int TemplateDialog::comboCurSel(int id) const {
    QComboBox* c = comboBox(id);
    return c ? c->currentIndex() : -1;
}

bool TemplateDialog::comboSetCurSel(int id, int index) {
    QComboBox* c = comboBox(id);
    if (!c || index < -1 || index >= c->count())
        return false;
    const bool blocked = c->blockSignals(true);
    c->setCurrentIndex(index);
    c->blockSignals(blocked);
    return true;
}

}  // namespace marrowdale
