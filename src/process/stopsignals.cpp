#include "stopsignals.h"

#include "signalpipe.h"

#include <QSocketNotifier>

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (!StopSignalPipe::install())
        return;
    m_notifier = new QSocketNotifier(StopSignalPipe::readDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        for (const int sig : StopSignalPipe::take())
            Q_EMIT received(sig);
    });
}

StopSignals::~StopSignals()
{
    StopSignalPipe::uninstall();
}
