#pragma once

#include <QObject>

class CommandChannel;
class QAction;
class QMenu;
class QWidget;

// Every command of the window, one QAction each, holding its name, keys and
// tool tip. The toolbar buttons, the keys, the menus (through the command
// channel's words) and the window's own buttons all trigger these; what a
// command does is connected to its action once, by the window.
class WindowCommands : public QObject
{
    Q_OBJECT

public:
    // The actions are added to the window, so their keys work anywhere in it.
    explicit WindowCommands(QWidget *window);

    QAction *addVideo;    // the open-file dialog
    QAction *addFolder;   // a whole folder tree
    QAction *removeVideo; // opens the remove menu
    QAction *removeSelected;
    QAction *removeAll;
    QAction *webSite;
    QAction *options;
    QAction *exit; // saves setup.ini and closes
    QAction *help;
    QAction *about;
    QAction *records; // the record of ended jobs
    QAction *start;   // the keyboard's way to start; the start button has its own
    QAction *pause;   // "暂停", or "继续" while paused
    QAction *stopNow;
    QAction *stopAfterJob;
    QAction *continueBatch; // takes back the stop after the current video
    QAction *retryFailed;   // every failed job waits again
    QAction *undo;          // takes back the last change of job settings

    // The pop-up menus. Their entries write the channel's words, except
    // "移除所有视频", which removes directly; the window pops up the remove
    // menu, the about menu (help button, right click) and the stop menu.
    QMenu *fileMenu;
    QMenu *optionsMenu;
    QMenu *aboutMenu;
    QMenu *removeMenu;
    QMenu *stopMenu;

    // The command of toolbar button index 0 to 5; nullptr for another index.
    QAction *toolbarAction(int index) const;

    // Each of the channel's words triggers its action.
    void connectChannel(CommandChannel &channel);

    // While a batch runs nothing may add, remove or change what it works on:
    // Help, About, Delete (a running job stays anyway) and the stops remain.
    void setBatchLocked(bool locked);
    // The stop after the current video makes sense once, while the batch
    // runs; once asked for, it can be taken back.
    void setStopAfterJobAvailable(bool available, bool stoppingAfterJob);
    void setPaused(bool paused);

private:
    CommandChannel *m_channel = nullptr;
};
