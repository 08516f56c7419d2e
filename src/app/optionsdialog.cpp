#include "optionsdialog.h"

#include "app/messagesink.h"
#include "common/formats.h"
#include "common/paths.h"
#include "conversion/batchcontroller.h"
#include "conversion/commands.h"
#include "dialogs/commondialogs.h"
#include "shell/optionsrules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <thread>

OptionsDialog::OptionsDialog(OptionValues &values, const QString &optionsFilePath,
                             MessageSink *messages, QWidget *parent)
    : QDialog(parent), m_values(values), m_optionsFilePath(optionsFilePath), m_messages(messages)
{
    keepCloseButtonOnly(this);
    setWindowTitle(u"选项设置"_qs);
    buildWidgets();
    fillFromValues();
}

void OptionsDialog::buildWidgets()
{
    soundList = new QComboBox(this);
    soundList->addItems({u"ON"_qs, u"OFF"_qs});
    auto *soundLabel = new QLabel(u"完成后声音提醒："_qs, this);
    soundLabel->setBuddy(soundList);

    losslessCheckBox = new QCheckBox(u"快速无损旋转（仅改变显示方向，不重新编码）"_qs, this);
    losslessCheckBox->setToolTip(u"适用于 %1 格式下 90 度的旋转，源视频为 H.264、HEVC 或 MPEG-4；\n"
                                 u"其他情况照常重新编码，列表的状态一栏会说明原因。"_qs.arg(
                                     Formats::losslessNames().join(u'、')));

    keepMetadataCheckBox = new QCheckBox(u"保留原视频的拍摄时间、地点等信息"_qs, this);
    keepMetadataCheckBox->setToolTip(
        u"转换后的视频保留原视频的拍摄时间、地点、相机型号和标题（视格式所能保存的而定），\n"
        u"文件的修改时间也与原视频相同，照片库中的日期因此不变。"_qs);

    parallelJobsList = new QComboBox(this);
    parallelJobsList->addItem(u"自动"_qs);
    const int most = std::min<int>(
        MaxParallelJobs,
        std::max({4, int(std::thread::hardware_concurrency()), int(m_values.parallelJobs)}));
    for (int n = 1; n <= most; ++n)
        parallelJobsList->addItem(QString::number(n));
    parallelJobsList->setToolTip(
        u"自动：按处理器核心数和输出格式决定，充分利用电脑而不互相拖慢。"_qs);
    auto *parallelLabel = new QLabel(u"同时转换的视频数："_qs, this);
    parallelLabel->setBuddy(parallelJobsList);

    // The two lists line up, the check boxes between them span the rows.
    auto *choices = new QGridLayout;
    choices->addWidget(soundLabel, 0, 0);
    choices->addWidget(soundList, 0, 1);
    choices->addWidget(losslessCheckBox, 1, 0, 1, 3);
    choices->addWidget(keepMetadataCheckBox, 2, 0, 1, 3);
    choices->addWidget(parallelLabel, 3, 0);
    choices->addWidget(parallelJobsList, 3, 1);
    choices->setColumnStretch(2, 1);

    nameTemplateEdit = new QLineEdit(this);
    nameTemplateEdit->setPlaceholderText(u"默认：原文件名_已旋转时间"_qs);
    nameTemplateEdit->setToolTip(
        u"输出文件的名字（不含扩展名），可以使用：\n"
        u"{name} 原文件名　{rotation} 旋转方式　{format} 输出格式　{time} 开始转换的时间\n"
        u"例如 {name}-{rotation}。留空则使用默认的名字。"_qs);
    auto *nameLabel = new QLabel(u"文件名："_qs, this);
    nameLabel->setBuddy(nameTemplateEdit);
    keepTreeCheckBox = new QCheckBox(u"保留原文件夹结构"_qs, this);
    keepTreeCheckBox->setToolTip(
        u"添加文件夹时，其中各子文件夹里的视频转换后放在输出文件夹中同名的子文件夹里。"_qs);
    auto *namesBox = new QGroupBox(u"输出文件"_qs, this);
    auto *namesLayout = new QGridLayout(namesBox);
    namesLayout->addWidget(nameLabel, 0, 0);
    namesLayout->addWidget(nameTemplateEdit, 0, 1);
    namesLayout->addWidget(keepTreeCheckBox, 1, 0, 1, 2);

    clipCheckBox = new QCheckBox(u"Music Cutter"_qs, this);
    clipCheckBox->setToolTip(u"截取范围：开始与结束时间"_qs);

    // Wide enough for a few digits; hours have no limit, longer text scrolls.
    const int boxWidth = fontMetrics().horizontalAdvance(u"00000"_qs) + 14;
    auto makeBox = [this, boxWidth] {
        auto *box = new QLineEdit(u"0"_qs, this);
        box->setFixedWidth(boxWidth);
        box->setAlignment(Qt::AlignRight);
        return box;
    };
    fromHoursEdit = makeBox();
    fromMinutesEdit = makeBox();
    fromSecondsEdit = makeBox();
    toHoursEdit = makeBox();
    toMinutesEdit = makeBox();
    toSecondsEdit = makeBox();

    auto *range = new QGridLayout;
    range->setHorizontalSpacing(4);
    QLineEdit *const rows[2][3] = {{fromHoursEdit, fromMinutesEdit, fromSecondsEdit},
                                   {toHoursEdit, toMinutesEdit, toSecondsEdit}};
    const QString rowNames[2] = {u"开始："_qs, u"结束："_qs};
    const QString units[3] = {u"时"_qs, u"分"_qs, u"秒"_qs};
    for (int r = 0; r < 2; ++r) {
        auto *name = new QLabel(rowNames[r], this);
        name->setBuddy(rows[r][0]);
        range->addWidget(name, r, 0);
        for (int c = 0; c < 3; ++c) {
            range->addWidget(rows[r][c], r, 1 + c * 2);
            auto *unit = new QLabel(units[c], this);
            range->addWidget(unit, r, 2 + c * 2);
            range->setColumnMinimumWidth(2 + c * 2, unit->sizeHint().width() + 8);
        }
    }
    range->setColumnStretch(7, 1);

    auto *clipBox = new QGroupBox(u"剪辑范围"_qs, this);
    auto *clipLayout = new QVBoxLayout(clipBox);
    clipLayout->addWidget(clipCheckBox);
    clipLayout->addLayout(range);

    okButton = new QPushButton(u"确定"_qs, this);
    backButton = new QPushButton(u"返回"_qs, this);
    okButton->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(backButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(namesBox);
    layout->addWidget(clipBox);
    layout->addLayout(buttons);
    // The dialog takes the size its texts need, whatever the font.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Reading order: down the dialog, and along each row of the range.
    const QList<QWidget *> order{soundList,        losslessCheckBox, keepMetadataCheckBox,
                                 parallelJobsList, nameTemplateEdit, keepTreeCheckBox,
                                 clipCheckBox,     fromHoursEdit,    fromMinutesEdit,
                                 fromSecondsEdit,  toHoursEdit,      toMinutesEdit,
                                 toSecondsEdit,    okButton,         backButton};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(clipCheckBox, &QCheckBox::toggled, this, &OptionsDialog::setClipBoxesEnabled);
    connect(okButton, &QPushButton::clicked, this, &OptionsDialog::accept);
    connect(backButton, &QPushButton::clicked, this, &OptionsDialog::reject);
}

void OptionsDialog::fillFromValues()
{
    soundList->setCurrentIndex(soundEntryFromValue(m_values.soundChoice));
    losslessCheckBox->setChecked(m_values.losslessRotation == 1);
    keepMetadataCheckBox->setChecked(m_values.keepMetadata != 0);
    parallelJobsList->setCurrentIndex(
        std::clamp(int(m_values.parallelJobs), 0, parallelJobsList->count() - 1));
    nameTemplateEdit->setText(m_values.naming.nameTemplate);
    keepTreeCheckBox->setChecked(m_values.naming.keepTree);
    const bool checked = cutterCheckedFromValue(m_values.clipEnabled);
    clipCheckBox->setChecked(checked);
    setClipBoxesEnabled(checked);
    if (!checked)
        return;
    const ClipFields fields =
        clipFieldsFromSeconds(m_values.clipFromSeconds, m_values.clipToSeconds);
    fromHoursEdit->setText(fields.fromH);
    fromMinutesEdit->setText(fields.fromM);
    fromSecondsEdit->setText(fields.fromS);
    toHoursEdit->setText(fields.toH);
    toMinutesEdit->setText(fields.toM);
    toSecondsEdit->setText(fields.toS);
}

void OptionsDialog::setClipBoxesEnabled(bool enabled)
{
    for (QLineEdit *box : {fromHoursEdit, fromMinutesEdit, fromSecondsEdit, toHoursEdit,
                           toMinutesEdit, toSecondsEdit})
        box->setEnabled(enabled);
}

void OptionsDialog::accept()
{
    const QString nameTemplate = nameTemplateEdit->text().trimmed();
    if (!nameTemplateProblem(nameTemplate).isEmpty()) {
        if (m_messages)
            m_messages->showMessage(
                MessageSink::Icon::Warning, u"输出文件名"_qs,
                u"文件名只能由文字和 {name}、{rotation}、{format}、{time} 组成，"
                u"不能含有“/”。"_qs);
        nameTemplateEdit->setFocus(Qt::OtherFocusReason);
        nameTemplateEdit->selectAll();
        return;
    }
    const ClipFields fields{fromHoursEdit->text(), fromMinutesEdit->text(), fromSecondsEdit->text(),
                            toHoursEdit->text(),   toMinutesEdit->text(),   toSecondsEdit->text()};
    const AcceptResult result =
        acceptOptions(soundList->currentIndex(), clipCheckBox->isChecked(), fields);

    if (result.failure) {
        using Box = OptionsFailure::Box;
        if (m_messages)
            m_messages->showMessage(MessageSink::Icon::Warning, result.failure->title,
                                    result.failure->text);
        QLineEdit *offending = fromMinutesEdit;
        switch (result.failure->box) {
        case Box::FromMinutes:
            offending = fromMinutesEdit;
            break;
        case Box::ToMinutes:
            offending = toMinutesEdit;
            break;
        case Box::FromSeconds:
            offending = fromSecondsEdit;
            break;
        case Box::ToSeconds:
            offending = toSecondsEdit;
            break;
        case Box::ToHours:
            offending = toHoursEdit;
            break;
        }
        offending->setFocus(Qt::OtherFocusReason);
        offending->selectAll();
        return;
    }

    if (result.uncheck)
        clipCheckBox->setChecked(false);
    m_values = result.values;
    m_values.losslessRotation = losslessCheckBox->isChecked() ? 1 : 0;
    m_values.keepMetadata = keepMetadataCheckBox->isChecked() ? 1 : 0;
    m_values.parallelJobs = int16_t(parallelJobsList->currentIndex());
    m_values.naming = {nameTemplate, keepTreeCheckBox->isChecked()};
    // A file that cannot be written still leaves the values in force for this run.
    writeOptionsFile(m_optionsFilePath, m_values);
    writeOutputFile(folderOf(m_optionsFilePath) + u"output.ini"_qs, m_values.naming);
    QDialog::accept();
}
