#include "framework/dialog_template.h"

#include <QDir>
#include <QFile>

namespace marrowdale {

namespace {

struct KindName {
    const char* name;
    ControlKind kind;
};

constexpr KindName kKinds[] = {
    {"ltext", ControlKind::LText},
    {"ctext", ControlKind::CText},
    {"rtext", ControlKind::RText},
    {"groupbox", ControlKind::GroupBox},
    {"pushbutton", ControlKind::PushButton},
    {"defpushbutton", ControlKind::DefPushButton},
    {"checkbox", ControlKind::CheckBox},
    {"autoradio", ControlKind::AutoRadio},
    {"edit", ControlKind::Edit},
    {"listbox", ControlKind::ListBox},
    {"combobox", ControlKind::ComboBox},
    {"icon", ControlKind::Icon},
    {"link", ControlKind::Link},
};

constexpr const char* kControlStyles[] = {
    "group",       "tabstop",          "disabled", "hidden",       "noprefix",    "multiline",
    "readonly",    "number",           "password", "autohscroll",  "autovscroll", "wantreturn",
    "vscroll",     "hscroll",          "border",   "sort",         "notify",      "multiplesel",
    "extendedsel", "nointegralheight", "dropdown", "dropdownlist", "3state"};

constexpr const char* kDialogStyles[] = {"modalframe", "caption", "sysmenu",  "popup",
                                         "visible",    "child",   "resizable"};

template <std::size_t N>
bool known(const char* const (&names)[N], const QString& word) {
    for (const char* n : names)
        if (word == QLatin1String(n))
            return true;
    return false;
}

// Splits a line into words; a quoted string is one word (kept with a leading '"' marker so that
// the caller can tell it was quoted). Returns false on an unterminated string or a bad escape.
bool tokenize(const QString& line, QStringList& out, QString& why) {
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        const QChar c = line[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == '#')
            break;
        if (c == '"') {
            QString s = QStringLiteral("\"");
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar d = line[i];
                if (d == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (d == '\\') {
                    if (i + 1 >= n) {
                        why = QStringLiteral("backslash at end of line");
                        return false;
                    }
                    const QChar e = line[i + 1];
                    if (e == 'n')
                        s += '\n';
                    else if (e == 't')
                        s += '\t';
                    else if (e == '"')
                        s += '"';
                    else if (e == '\\')
                        s += '\\';
                    else {
                        why = QStringLiteral("unknown escape \\") + e;
                        return false;
                    }
                    i += 2;
                    continue;
                }
                s += d;
                ++i;
            }
            if (!closed) {
                why = QStringLiteral("unterminated string");
                return false;
            }
            out << s;
            continue;
        }
        qsizetype j = i;
        while (j < n && !line[j].isSpace() && line[j] != '"')
            ++j;
        out << line.mid(i, j - i);
        i = j;
    }
    return true;
}

bool isQuoted(const QString& w) {
    return w.startsWith('"');
}

bool toInt(const QString& w, int& v) {
    if (isQuoted(w))
        return false;
    bool ok = false;
    v = w.toInt(&ok);
    return ok;
}

bool toId(const QString& w, int& v) {
    if (w == QLatin1String("IDOK")) {
        v = 1;
        return true;
    }
    if (w == QLatin1String("IDCANCEL")) {
        v = 2;
        return true;
    }
    if (w == QLatin1String("IDC_STATIC")) {
        v = -1;
        return true;
    }
    return toInt(w, v);
}

}  // namespace

const ControlTemplate* DialogTemplate::control(int controlId) const {
    for (const auto& c : controls)
        if (c.id == controlId)
            return &c;
    return nullptr;
}

std::optional<std::vector<DialogTemplate>> parseDialogTemplates(const QString& text,
                                                                QString* error) {
    std::vector<DialogTemplate> result;
    std::optional<DialogTemplate> current;
    const QStringList lines = text.split('\n');
    auto fail = [&](int lineNo, const QString& why) -> std::optional<std::vector<DialogTemplate>> {
        if (error)
            *error = QString::number(lineNo) + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    for (int li = 0; li < lines.size(); ++li) {
        const int lineNo = li + 1;
        QStringList w;
        QString why;
        if (!tokenize(lines[li], w, why))
            return fail(lineNo, why);
        if (w.isEmpty())
            continue;
        const QString& key = w[0];
        if (key == QLatin1String("dialog")) {
            if (current)
                return fail(lineNo, QStringLiteral("dialog inside dialog"));
            DialogTemplate t;
            if (w.size() != 5 || !toInt(w[1], t.id) || !isQuoted(w[2]) || !toInt(w[3], t.cx) ||
                !toInt(w[4], t.cy))
                return fail(lineNo, QStringLiteral("expected: dialog <id> \"<title>\" <cx> <cy>"));
            if (t.cx < 0 || t.cy < 0)
                return fail(lineNo, QStringLiteral("negative size"));
            for (const auto& d : result)
                if (d.id == t.id)
                    return fail(lineNo, QStringLiteral("duplicate dialog id"));
            t.title = w[2].mid(1);
            current = std::move(t);
            continue;
        }
        if (!current)
            return fail(lineNo, QStringLiteral("outside a dialog"));
        if (key == QLatin1String("end")) {
            if (w.size() != 1)
                return fail(lineNo, QStringLiteral("text after end"));
            result.push_back(std::move(*current));
            current.reset();
            continue;
        }
        if (key == QLatin1String("font")) {
            int size = 0;
            if (w.size() != 3 || !toInt(w[1], size) || size <= 0 || !isQuoted(w[2]))
                return fail(lineNo, QStringLiteral("expected: font <points> \"<face>\""));
            current->fontPointSize = size;
            current->fontFace = w[2].mid(1);
            continue;
        }
        if (key == QLatin1String("style")) {
            for (int k = 1; k < w.size(); ++k) {
                if (!known(kDialogStyles, w[k]))
                    return fail(lineNo, QStringLiteral("unknown dialog style ") + w[k]);
                current->styles << w[k];
            }
            continue;
        }
        const KindName* kind = nullptr;
        for (const auto& k : kKinds)
            if (key == QLatin1String(k.name))
                kind = &k;
        if (!kind)
            return fail(lineNo, QStringLiteral("unknown item ") + key);
        ControlTemplate c;
        c.kind = kind->kind;
        if (w.size() < 7 || !toId(w[1], c.id) || !isQuoted(w[2]) || !toInt(w[3], c.x) ||
            !toInt(w[4], c.y) || !toInt(w[5], c.cx) || !toInt(w[6], c.cy))
            return fail(lineNo,
                        QStringLiteral("expected: <kind> <id> \"<text>\" <x> <y> <cx> <cy>"));
        if (c.cx < 0 || c.cy < 0)
            return fail(lineNo, QStringLiteral("negative size"));
        c.text = w[2].mid(1);
        for (int k = 7; k < w.size(); ++k) {
            if (!known(kControlStyles, w[k]))
                return fail(lineNo, QStringLiteral("unknown control style ") + w[k]);
            c.styles << w[k];
        }
        if (c.id != -1 && current->control(c.id))
            return fail(lineNo, QStringLiteral("duplicate control id"));
        current->controls.push_back(std::move(c));
    }
    if (current)
        return fail(static_cast<int>(lines.size()), QStringLiteral("missing end"));
    return result;
}

std::optional<DialogTemplate> loadDialogTemplate(int id, QString* error) {
    const QDir dir(QStringLiteral(":/dialogs"));
    const QStringList files = dir.entryList({QStringLiteral("*.dlg")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QString why;
        auto parsed = parseDialogTemplates(QString::fromUtf8(f.readAll()), &why);
        if (!parsed) {
            // A broken file must not hide the template searched for if it is elsewhere, but it
            // is reported when nothing is found.
            if (error)
                *error = name + QStringLiteral(":") + why;
            continue;
        }
        for (auto& t : *parsed)
            if (t.id == id)
                return std::move(t);
    }
    if (error && error->isEmpty())
        *error = QStringLiteral("no dialog template ") + QString::number(id);
    return std::nullopt;
}

int dialogTextToInt(const QString& text, bool isSigned, bool* ok) {
    if (ok)
        *ok = false;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < n && isSigned && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const qsizetype digitsStart = i;
    long long value = 0;
    const long long limit = isSigned ? (negative ? 2147483648LL : 2147483647LL) : 4294967295LL;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > limit)
            return 0;
        ++i;
    }
    if (i == digitsStart)
        return 0;
    while (i < n && text[i].isSpace())
        ++i;
    if (i != n)
        return 0;
    if (ok)
        *ok = true;
    if (negative)
        value = -value;
    // Unsigned values above INT_MAX come back as their two's complement bit pattern.
    return static_cast<int>(static_cast<unsigned>(static_cast<long long>(value) & 0xFFFFFFFFLL));
}

int dluToPixelsX(int dlu, const DialogBaseUnits& base) {
    const long long p = static_cast<long long>(dlu) * base.x;
    return static_cast<int>(p >= 0 ? (p + 2) / 4 : -((-p + 2) / 4));
}

int dluToPixelsY(int dlu, const DialogBaseUnits& base) {
    const long long p = static_cast<long long>(dlu) * base.y;
    return static_cast<int>(p >= 0 ? (p + 4) / 8 : -((-p + 4) / 8));
}

}  // namespace marrowdale
