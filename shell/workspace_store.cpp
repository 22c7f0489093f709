#include "shell/workspace_store.h"

#include <QSettings>
#include <QStringList>
#include <set>

namespace marrowdale {

namespace {

const char* const kWorkspaceGroup = "Workspace";

}  // namespace

void writeWorkspace(QSettings& settings, const Workspace& workspace) {
    settings.beginGroup(QLatin1String(kWorkspaceGroup));
    settings.remove(QString());
    settings.setValue(QStringLiteral("StandardButtons"),
                      formatButtonList(workspace.standardButtons.value_or(ButtonList{})));
    QStringList ids;
    for (const UserToolbarRecord& bar : workspace.userToolbars) {
        ids << QString::number(bar.id);
        settings.setValue(QStringLiteral("UserToolbar%1/Name").arg(bar.id), bar.name);
        settings.setValue(QStringLiteral("UserToolbar%1/Buttons").arg(bar.id),
                          formatButtonList(bar.buttons));
    }
    settings.setValue(QStringLiteral("UserToolbars"), ids.join(QLatin1Char(',')));
    QStringList images;
    for (const auto& [command, image] : workspace.commandImages)
        images << QStringLiteral("%1:%2").arg(command).arg(image);
    settings.setValue(QStringLiteral("CommandImages"), images.join(QLatin1Char(',')));
    settings.setValue(QStringLiteral("Shortcuts"), formatShortcuts(workspace.shortcuts, {}));
    settings.setValue(QStringLiteral("GlobalShortcuts"),
                      formatShortcuts(workspace.globalShortcuts, {}));
    settings.setValue(QStringLiteral("State"), workspace.frameState);
    settings.setValue(QStringLiteral("Geometry"), workspace.frameGeometry);
    settings.endGroup();
    settings.sync();
}

Workspace readWorkspace(QSettings& settings, const WorkspaceRules& rules) {
    Workspace workspace;
    settings.beginGroup(QLatin1String(kWorkspaceGroup));
    const auto known = [&rules](int id) {
        return rules.toolbarCommand && rules.toolbarCommand(id);
    };
    if (settings.contains(QStringLiteral("StandardButtons")))
        workspace.standardButtons =
            parseButtonList(settings.value(QStringLiteral("StandardButtons")).toString(), known);

    std::set<int> seen;
    const QStringList ids = settings.value(QStringLiteral("UserToolbars"))
                                .toString()
                                .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& text : ids) {
        bool ok = false;
        const int id = text.trimmed().toInt(&ok);
        if (!ok || id < kFirstUserToolbarId || id > kLastUserToolbarId || !seen.insert(id).second)
            continue;
        UserToolbarRecord bar;
        bar.id = id;
        bar.name = cleanToolbarName(
            settings.value(QStringLiteral("UserToolbar%1/Name").arg(id)).toString());
        bar.buttons = parseButtonList(
            settings.value(QStringLiteral("UserToolbar%1/Buttons").arg(id)).toString(), known);
        workspace.userToolbars.push_back(std::move(bar));
    }

    for (const QString& pair : settings.value(QStringLiteral("CommandImages"))
                                   .toString()
                                   .split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = pair.split(QLatin1Char(':'));
        if (parts.size() != 2)
            continue;
        bool commandOk = false;
        bool imageOk = false;
        const int command = parts[0].toInt(&commandOk);
        const int image = parts[1].toInt(&imageOk);
        if (!commandOk || !imageOk || image < 0 || !known(command))
            continue;
        workspace.commandImages[command] = image;
    }

    workspace.shortcuts = parseShortcuts(
        settings.value(QStringLiteral("Shortcuts")).toString(),
        [&rules](int id) { return rules.keyboardCommand && rules.keyboardCommand(id); });
    workspace.globalShortcuts =
        parseShortcuts(settings.value(QStringLiteral("GlobalShortcuts")).toString(),
                       [&rules](int id) { return rules.globalCommand && rules.globalCommand(id); });
    workspace.frameState = settings.value(QStringLiteral("State")).toByteArray();
    workspace.frameGeometry = settings.value(QStringLiteral("Geometry")).toByteArray();
    settings.endGroup();
    return workspace;
}

}  // namespace marrowdale
