#pragma once

#include "jobqueue.h"

#include <QAbstractTableModel>

#include <functional>

// The job queue as the window's list shows it: a row per job, a column per
// thing a user reads about it. It follows the queue and changes nothing.
class JobListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, TypeColumn, RotationColumn, FormatColumn, StatusColumn, ColumnCount };
    enum Role {
        StateRole = Qt::UserRole + 1,
        FailureRole,
        FailureDetailRole,
        FractionRole,
        PathRole,
        IdRole,
        LosslessRefusalRole,
    };

    explicit JobListModel(const JobQueue &queue, QObject *parent = nullptr);

    // How a front end shows a job: asked first for every role of every cell;
    // an invalid answer leaves the role to the model. The model itself words
    // nothing, so the status column is empty without it.
    using Presentation = std::function<QVariant(const Job &job, int column, int role)>;
    void setPresentation(Presentation presentation) { m_presentation = std::move(presentation); }
    // The presentation shows the jobs otherwise now (the batch paused): every row anew.
    void presentationChanged();

    const JobQueue &queue() const { return m_queue; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    const JobQueue &m_queue;
    Presentation m_presentation;
};
