#include "jobpresentation.h"

#include "common/paths.h"
#include "conversion/conversionsettings.h"
#include "joblist/joblistmodel.h"
#include "texts/statustexts.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace {

const QColor FailedColour(0xc6, 0x28, 0x28);

// A red round mark with a white bar, drawn so it is sharp at any scale.
QIcon failedMark()
{
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 24, 32, 48}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(FailedColour);
            p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
            p.setBrush(Qt::white);
            const double w = size / 8.0;
            p.drawRoundedRect(QRectF(size / 2.0 - w / 2, size * 0.22, w, size * 0.38), w / 2,
                              w / 2);
            p.drawEllipse(QRectF(size / 2.0 - w / 1.6, size * 0.68, w * 1.25, w * 1.25));
            result.addPixmap(pixmap);
        }
        return result;
    }();
    return icon;
}

} // namespace

QString rotationText(const JobSettings &settings)
{
    QString text = ConversionSettings::rotationTexts().value(
        ConversionSettings::rotationEntryOf(settings.rotation));
    if (settings.sourceOrientation == SourceOrientation::Ignore)
        text += u"（忽略方向）"_qs;
    return text;
}

QString formatText(const JobSettings &settings)
{
    return QString::fromUtf16(Formats::at(settings.format).shortName);
}

QVariant presentJob(const Job &job, int column, int role, bool paused)
{
    const bool status = column == JobListModel::StatusColumn;
    switch (role) {
    case Qt::DisplayRole:
        if (column == JobListModel::RotationColumn)
            return rotationText(job.settings);
        if (column == JobListModel::FormatColumn)
            return formatText(job.settings);
        if (status) {
            QString text = StatusTexts::jobStatus(job.state, job.fraction, job.failure, paused);
            if (job.state == JobState::Running && !job.losslessRefusal.isEmpty())
                text += u"（"_qs + StatusTexts::losslessRefusal(job.losslessRefusal) + u"）"_qs;
            return text;
        }
        break;
    case Qt::ToolTipRole:
        // A failure whole, wherever the pointer rests on its row.
        if (job.state == JobState::Failed) {
            const QString detail = StatusTexts::failureDetail(job.failure, job.failureDetail,
                                                              job.failureChecks, job.keptOutput);
            return displayPath(job.source) + u"\n"_qs + StatusTexts::failure(job.failure) +
                   (detail.isEmpty() ? QString() : u"\n"_qs + detail);
        }
        if (status && !job.losslessRefusal.isEmpty())
            return StatusTexts::losslessRefusal(job.losslessRefusal);
        break;
    case Qt::ForegroundRole:
        if (job.state == JobState::Failed)
            return FailedColour;
        break;
    case Qt::DecorationRole:
        if (status && job.state == JobState::Failed)
            return failedMark();
        break;
    case Qt::FontRole:
        if (job.state == JobState::Running) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        break;
    default:
        break;
    }
    return {};
}
