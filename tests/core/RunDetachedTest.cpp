#include "core/RunDetached.h"

#include "core/Logger.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QTest>
#include <QUuid>

#include <stdexcept>

using namespace plimsy;

namespace {

class Trigger : public QObject
{
    Q_OBJECT

Q_SIGNALS:
    void fired();
};

QString sharedLogText()
{
    Logger::shared().flush();
    QString text;
    const QDir folder(*Logger::shared().logDirectory());
    for (const QString &name : folder.entryList({"Plimsy_*.log"}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            text += QString::fromUtf8(file.readAll());
        }
    }
    return text;
}

QCoro::Task<> failAfter(Trigger *trigger, QString message, bool *reached)
{
    co_await qCoro(trigger, &Trigger::fired);
    *reached = true;
    throw std::runtime_error(message.toStdString());
}

QCoro::Task<> failAtOnce(QString message)
{
    throw std::runtime_error(message.toStdString());
    co_return;
}

TEST(RunDetachedTest, LogsAnExceptionThrownBeforeTheFirstSuspension)
{
    const QString message = "boom " + QUuid::createUuid().toString();
    runDetached(failAtOnce(message));
    EXPECT_TRUE(sharedLogText().contains("] [Task] Unhandled error: " + message + "\n"));
}

TEST(RunDetachedTest, LogsAnExceptionThrownAfterResuming)
{
    Trigger trigger;
    bool reached = false;
    const QString message = "later " + QUuid::createUuid().toString();
    runDetached(failAfter(&trigger, message, &reached));
    EXPECT_FALSE(reached);
    Q_EMIT trigger.fired();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reached; }, 5000));
    EXPECT_TRUE(sharedLogText().contains("] [Task] Unhandled error: " + message + "\n"));
}

} // namespace

#include "RunDetachedTest.moc"
