// One send run on a given database against a given gateway, printing its
// status texts and "done N" after each message: a program a test can kill in
// the middle of a run. With "receive" last, one delivery-report run instead.
//   sendrun_helper <database file> <gateway host> <messages in flight> [receive]

#include "data/AppError.h"
#include "data/Database.h"
#include "gateway/CycleHost.h"
#include "gateway/OutboxSender.h"
#include "gateway/StatusRetrieval.h"
#include "settings/RunningSetup.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

class PrintingHost : public CycleHost
{
public:
    void setStatus(const QString &text) override { print(text); }
    QString creditsText() const override { return QStringLiteral("0"); }
    void setCreditsText(const QString &) override {}
    void setBusy(bool) override {}
    void inform(const QString &title, const QString &text) override { print(title + QStringLiteral(": ") + text); }
    bool ask(const QString &, const QString &) override { return false; }
    void showError(const AppError &error) override { print(error.text()); }
    void setProgress(int done, int total) override
    {
        if (total > 0)
            print(QStringLiteral("done %1").arg(done));
    }
    void yieldToEvents() override {}
    void outboxChanged() override {}
    void inboxChanged() override {}

private:
    static void print(const QString &line)
    {
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4 && !(arguments.size() == 5 && arguments[4] == QStringLiteral("receive")))
        return 2;
    Database::use(arguments[1]);
    RunningSetup::useGatewayHost(arguments[2]);
    RunningSetup::useGatewayAccount(QStringLiteral("demo"), QStringLiteral("demo"));
    RunningSetup::useGatewayConnections(arguments[3].toInt());
    PrintingHost host;
    if (arguments.size() == 5) {
        StatusRetrieval(host).FetchStatusReports();
        return 0;
    }
    return OutboxSender(host).SendOutbox() ? 0 : 1;
}
