#include "windowcommands.h"

#include "shell/commandchannel.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace {

// toolTip names the keys, as the buttons show it.
QAction *command(QWidget *window, const QString &text, const QString &toolTip,
                 const QList<QKeySequence> &keys = {})
{
    auto *action = new QAction(text, window);
    action->setShortcuts(keys);
    action->setToolTip(toolTip);
    window->addAction(action);
    return action;
}

} // namespace

WindowCommands::WindowCommands(QWidget *window) : QObject(window)
{
    addVideo = command(window, u"添加视频"_qs, u"添加文件 (Ctrl+O)"_qs, {Qt::CTRL | Qt::Key_O});
    addFolder = command(window, u"添加文件夹"_qs, u"从文件夹添加多个文件 (Ctrl+Shift+O)"_qs,
                        {Qt::CTRL | Qt::SHIFT | Qt::Key_O});
    removeVideo =
        command(window, u"移除视频"_qs, u"从列表中删除文件 (Delete / Ctrl+Shift+Delete)"_qs);
    removeSelected =
        command(window, u"移除选中视频"_qs, u"从列表中删除文件 (Delete)"_qs, {Qt::Key_Delete});
    removeAll = command(window, u"移除所有视频"_qs, u"移除所有视频 (Ctrl+Shift+Delete)"_qs,
                        {Qt::CTRL | Qt::SHIFT | Qt::Key_Delete});
    webSite = command(window, u"访问网站"_qs, u"打开使用帮助"_qs);
    options = command(window, u"选项设置"_qs, u"设置 (Ctrl+,)"_qs, {Qt::CTRL | Qt::Key_Comma});
    exit = command(window, u"退出程序"_qs, u"退出程序 (Ctrl+Q)"_qs, {Qt::CTRL | Qt::Key_Q});
    help = command(window, u"帮助"_qs, u"帮助 (F1)"_qs, {Qt::Key_F1});
    about = command(window, u"关于"_qs, u"关于"_qs);
    records = command(window, u"转换记录"_qs, u"转换记录 (Ctrl+H)"_qs, {Qt::CTRL | Qt::Key_H});
    start = command(window, u"开始旋转视频！"_qs, u"开始旋转列表中的视频 (Ctrl+Enter)"_qs,
                    {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter});
    pause = command(window, u"暂停"_qs, u"暂停正在转换的视频 (Ctrl+P)"_qs,
                    {Qt::CTRL | Qt::Key_P, Qt::Key_Pause});
    pause->setEnabled(false);
    retryFailed = command(window, u"重试失败的视频"_qs,
                          u"把转换失败的视频改回等待，下次转换时重新处理 (Ctrl+R)"_qs,
                          {Qt::CTRL | Qt::Key_R});
    undo = command(window, u"撤销"_qs, u"撤销对视频设置的上一次更改 (Ctrl+Z)"_qs,
                   {QKeySequence::Undo});
    undo->setEnabled(false);
    stopNow = new QAction(u"立即停止"_qs, this);
    stopAfterJob = new QAction(u"当前视频完成后停止"_qs, this);
    continueBatch = new QAction(u"继续转换"_qs, this);
    continueBatch->setToolTip(u"取消“当前视频完成后停止”，继续转换列表中的视频"_qs);
    continueBatch->setVisible(false);

    // An entry that writes a word hands it to the channel, which triggers the
    // action; the channel is connected later, by connectChannel().
    const auto word = [this](QMenu *menu, const QString &caption, const QString &word) {
        QAction *entry = menu->addAction(caption);
        connect(entry, &QAction::triggered, this, [this, word] {
            if (m_channel)
                m_channel->setText(word);
        });
        return entry;
    };
    fileMenu = new QMenu(u"File"_qs, window);
    word(fileMenu, u"添加文件(&A)"_qs, u"AddaFile"_qs);
    word(fileMenu, u"添加目录(&F)"_qs, u"menuAddaFolder"_qs);
    fileMenu->addSeparator();
    word(fileMenu, u"退出(&E)"_qs, u"menuExit"_qs);
    optionsMenu = new QMenu(u"Options"_qs, window);
    word(optionsMenu, u"设置(&O)"_qs, u"menuOption"_qs);
    aboutMenu = new QMenu(u"About"_qs, window);
    aboutMenu->setObjectName(u"aboutMenu"_qs);
    // The key is shown there but works through the help command, whose it is.
    QAction *helpEntry = word(aboutMenu, u"帮助(&H)"_qs, u"menuHelp"_qs);
    helpEntry->setShortcut(Qt::Key_F1);
    helpEntry->setShortcutContext(Qt::WidgetShortcut);
    QAction *recordsEntry = aboutMenu->addAction(u"转换记录(&R)"_qs);
    recordsEntry->setShortcut(records->shortcut());
    recordsEntry->setShortcutContext(Qt::WidgetShortcut);
    connect(recordsEntry, &QAction::triggered, records, &QAction::trigger);
    word(aboutMenu, u"关于(&A)"_qs, u"A"_qs);
    removeMenu = new QMenu(u"移除视频"_qs, window);
    removeMenu->setObjectName(u"removeMenu"_qs);
    word(removeMenu, u"移除选中视频"_qs, u"RemoveSelected"_qs);
    connect(removeMenu->addAction(u"移除所有视频"_qs), &QAction::triggered, removeAll,
            &QAction::trigger);
    stopMenu = new QMenu(window);
    stopMenu->setObjectName(u"stopMenu"_qs);
    stopMenu->addAction(pause);
    stopMenu->addSeparator();
    stopMenu->addAction(stopNow);
    stopMenu->addAction(stopAfterJob);
    stopMenu->addAction(continueBatch);
}

void WindowCommands::connectChannel(CommandChannel &channel)
{
    m_channel = &channel;
    const std::initializer_list<std::pair<const char16_t *, QAction *>> words = {
        {u"RemoveSelected", removeSelected},
        {u"A", about},
        {u"AddaFile", addVideo},
        {u"menuAddaFolder", addFolder},
        {u"menuExit", exit},
        {u"menuHelp", help},
        {u"menuOption", options}};
    for (const auto &[word, action] : words)
        channel.setAction(QString::fromUtf16(word), [action] { action->trigger(); });
}

QAction *WindowCommands::toolbarAction(int index) const
{
    // Buttons 3 and 4 stand in swapped places on screen; the indexes stay.
    const QList<QAction *> byIndex = {addVideo, addFolder, removeVideo, webSite, options, exit};
    return index >= 0 && index < byIndex.size() ? byIndex[index] : nullptr;
}

void WindowCommands::setBatchLocked(bool locked)
{
    for (QAction *action :
         {addVideo, addFolder, removeVideo, removeAll, webSite, options, exit, start})
        action->setEnabled(!locked);
    pause->setEnabled(locked);
    for (QMenu *menu : {fileMenu, optionsMenu, removeMenu})
        menu->setEnabled(!locked);
}

void WindowCommands::setStopAfterJobAvailable(bool available, bool stoppingAfterJob)
{
    stopAfterJob->setEnabled(available);
    continueBatch->setVisible(stoppingAfterJob);
}

void WindowCommands::setPaused(bool paused)
{
    pause->setText(paused ? u"继续转换"_qs : u"暂停"_qs);
    pause->setToolTip(paused ? u"继续转换 (Ctrl+P)"_qs : u"暂停正在转换的视频 (Ctrl+P)"_qs);
}
