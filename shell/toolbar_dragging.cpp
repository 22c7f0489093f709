// The toolbar customiser's mouse work: buttons dragged within and between toolbars and off
// them, commands dropped from the dialog's list, and the context menus of the frame's bars.
#include "shell/toolbar_customizer.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

namespace marrowdale {

int ToolbarCustomizer::dropIndexAt(int toolbarId, const QPoint& pos) const {
    const Bar* b = find(toolbarId);
    if (!b)
        return 0;
    const bool vertical = b->bar->orientation() == Qt::Vertical;
    int index = 0;
    for (QAction* a : b->bar->actions()) {
        if (a == b->customizeAction)
            break;
        QWidget* w = b->bar->widgetForAction(a);
        if (w && w->isVisible()) {
            const QPoint centre = w->geometry().center();
            if ((vertical ? pos.y() : pos.x()) < (vertical ? centre.y() : centre.x()))
                return index;
        }
        ++index;
    }
    return static_cast<int>(layout_.buttons(toolbarId).size());
}

bool ToolbarCustomizer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &frame_) {
        if (event->type() == QEvent::Close) {
            saveWorkspace();
        } else if (event->type() == QEvent::ContextMenu) {
            auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            QWidget* child = frame_.childAt(menuEvent->pos());
            QWidget* central = frame_.centralWidget();
            const bool inCentral =
                child && central && (child == central || central->isAncestorOf(child));
            if (!inCentral) {
                showPanesMenu(menuEvent->globalPos());
                return true;
            }
        }
        return false;
    }
    if (auto* bar = qobject_cast<QToolBar*>(watched); bar && toolbarIdOf(bar) >= 0) {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
                return handleDrop(bar, event);
            case QEvent::ContextMenu:
                showPanesMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
                return true;
            default:
                return false;
        }
    }
    if (auto* button = qobject_cast<QToolButton*>(watched))
        return handleButtonMouse(button, event);
    return false;
}

bool ToolbarCustomizer::handleButtonMouse(QToolButton* button, QEvent* event) {
    auto* bar = qobject_cast<QToolBar*>(button->parentWidget());
    const int toolbarId = bar ? toolbarIdOf(bar) : -1;
    if (toolbarId < 0)
        return false;
    Bar* b = find(toolbarId);
    if (!b || button == b->customize)
        return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() != Qt::LeftButton)
                return false;
            if (!(me->modifiers() & Qt::AltModifier) && !customizing())
                return false;
            pressedButton_ = button;
            pressPos_ = me->position().toPoint();
            return true;
        }
        case QEvent::MouseMove: {
            if (pressedButton_ != button)
                return false;
            auto* me = static_cast<QMouseEvent*>(event);
            if (!(me->buttons() & Qt::LeftButton)) {
                pressedButton_ = nullptr;
                return false;
            }
            if ((me->position().toPoint() - pressPos_).manhattanLength() <
                QApplication::startDragDistance())
                return true;
            pressedButton_ = nullptr;
            // The button's place on its toolbar.
            const QList<QAction*> actions = bar->actions();
            const int index = static_cast<int>(actions.indexOf(button->defaultAction()));
            const ButtonList& list = layout_.buttons(toolbarId);
            if (index < 0 || index >= static_cast<int>(list.size()))
                return true;
            const int commandId = list[static_cast<std::size_t>(index)];
            QPointer<QToolBar> source(bar);
            const Qt::DropAction result =
                runDrag(makeButtonMime({commandId, toolbarId, index}), bar);
            if (result == Qt::IgnoreAction && source && find(toolbarId)) {
                // Dragged off every toolbar: the button goes away.
                const ButtonList& still = layout_.buttons(toolbarId);
                if (index < static_cast<int>(still.size()) &&
                    still[static_cast<std::size_t>(index)] == commandId) {
                    layout_.removeAt(toolbarId, index);
                    rebuildLater(toolbarId);
                }
            }
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (pressedButton_ != button)
                return false;
            pressedButton_ = nullptr;
            return true;
        default:
            return false;
    }
}

bool ToolbarCustomizer::handleDrop(QToolBar* bar, QEvent* event) {
    auto* drop = static_cast<QDropEvent*>(event);
    ButtonDrag drag;
    if (!readButtonMime(drop->mimeData(), drag))
        return false;
    const int target = toolbarIdOf(bar);
    if (!find(target))
        return false;
    const bool fromBar = drag.fromToolbar != 0 && find(drag.fromToolbar) != nullptr;
    const ButtonList& from = layout_.buttons(drag.fromToolbar);
    const bool move = fromBar && drag.fromIndex >= 0 &&
                      drag.fromIndex < static_cast<int>(from.size()) &&
                      from[static_cast<std::size_t>(drag.fromIndex)] == drag.commandId;
    drop->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    if (event->type() != QEvent::Drop) {
        drop->accept();
        return true;
    }
    const int index = dropIndexAt(target, drop->position().toPoint());
    // The toolbars are rebuilt after the drag has ended: the dragged button is the source of the
    // drag and must live until then.
    const bool done = move ? layout_.move(drag.fromToolbar, drag.fromIndex, target, index)
                           : layout_.insertCommand(target, index, drag.commandId);
    if (done) {
        rebuildLater(target);
        if (move && drag.fromToolbar != target)
            rebuildLater(drag.fromToolbar);
        drop->accept();
    } else {
        drop->ignore();
    }
    return true;
}

}  // namespace marrowdale
