#include "app/InstanceGuard.h"

#include <QCryptographicHash>

namespace {

// Holds the system semaphore for the lifetime of a scope.
class SemaphoreLocker
{
public:
    explicit SemaphoreLocker(QSystemSemaphore &semaphore)
        : semaphore(semaphore)
    {
        semaphore.acquire();
    }
    ~SemaphoreLocker() { semaphore.release(1); }

    SemaphoreLocker(const SemaphoreLocker &) = delete;
    SemaphoreLocker &operator=(const SemaphoreLocker &) = delete;

private:
    QSystemSemaphore &semaphore;
};

constexpr int segmentSize = int(sizeof(quint64));

} // namespace

QString InstanceGuard::hashedKey(const QString &key, const QString &salt)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(key.toUtf8());
    hash.addData(salt.toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

InstanceGuard::InstanceGuard(const QString &applicationKey)
    : key(applicationKey)
    , lockKey(hashedKey(applicationKey, QStringLiteral("_memLockKey")))
    , memoryKey(hashedKey(applicationKey, QStringLiteral("_sharedmemKey")))
    , sharedMemory(memoryKey)
    , lock(lockKey, 1, QSystemSemaphore::Open)
{
    // Attaching and detaching once clears a segment that a crashed process left behind (on Unix
    // the last detach removes it).
    SemaphoreLocker locker(lock);
    QSharedMemory leftover(memoryKey);
    leftover.attach(QSharedMemory::ReadWrite);
}

InstanceGuard::~InstanceGuard()
{
    release();
}

bool InstanceGuard::isOtherInstanceRunning()
{
    if (sharedMemory.isAttached()) {
        return false;
    }
    SemaphoreLocker locker(lock);
    const bool running = sharedMemory.attach(QSharedMemory::ReadWrite);
    if (running) {
        sharedMemory.detach();
    }
    return running;
}

bool InstanceGuard::claim()
{
    if (isOtherInstanceRunning()) {
        return false;
    }
    bool created = false;
    {
        SemaphoreLocker locker(lock);
        created = sharedMemory.create(segmentSize, QSharedMemory::ReadWrite);
    }
    if (!created) {
        release();
        return false;
    }
    return true;
}

void InstanceGuard::release()
{
    SemaphoreLocker locker(lock);
    if (sharedMemory.isAttached()) {
        sharedMemory.detach();
    }
}
