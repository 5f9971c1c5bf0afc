#pragma once

#include <QObject>
#include <QRunnable>
#include <QString>

// One measurement job: runs the system ping command against one host in a pool thread and
// reports the average round-trip time.
class PingProcessor : public QObject, public QRunnable
{
    Q_OBJECT

public:
    explicit PingProcessor(const QString &hostName);
    ~PingProcessor() override;

    void run() override;

signals:
    void finished(QString host_name, QString host_ping);

private:
    QString hostName;
};
