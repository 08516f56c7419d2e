#pragma once

#include "conversion/jobrecord.h"

#include <QDialog>
#include <QUrl>

#include <functional>

class QPushButton;
class QTreeWidget;

// The record of converted, failed and stopped jobs: where each output went,
// its size, the time it took and its speed. A double click opens the output;
// the buttons open it or its folder.
class RecordWindow : public QDialog
{
    Q_OBJECT

public:
    using UrlOpener = std::function<void(const QUrl &)>;

    RecordWindow(const QList<JobRecord> &records, UrlOpener open, QWidget *parent = nullptr);

    void add(const JobRecord &record);
    QTreeWidget *list() const { return m_list; }

private:
    void updateButtons();
    const JobRecord *selected() const;

    QList<JobRecord> m_records;
    UrlOpener m_open;
    QTreeWidget *m_list;
    QPushButton *m_openFile;
    QPushButton *m_openFolder;
};

// A size for people: "12.3 MB".
QString sizeText(qint64 bytes);
