#include "campaigns/frmReports.h"
#include "ui_frmReports.h"

#include "campaigns/CampaignNotices.h"
#include "data/AppError.h"
#include "data/OperatorTime.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBoxes.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLineSeries>
#include <QLocale>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QValueAxis>

frmReports::frmReports(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmReports>())
{
    ui->setupUi(this);
    ui->cboPeriod->addItem(QStringLiteral("Day"), int(CampaignReport::Period::Day));
    ui->cboPeriod->addItem(QStringLiteral("Week"), int(CampaignReport::Period::Week));
    ui->cboPeriod->addItem(QStringLiteral("Month"), int(CampaignReport::Period::Month));
    // A caption's text is measured kerned but may be drawn wider ("To"
    // showed as "Tc"): each is given half a character more than it measures.
    for (QLabel *caption : {ui->lblFrom, ui->lblTo, ui->lblPeriod})
        caption->setMinimumWidth(caption->sizeHint().width() + caption->fontMetrics().averageCharWidth() / 2 + 1);
    for (QDateEdit *edit : {ui->dteFrom, ui->dteTo})
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) + 40);
    const QDate today = OperatorTime::current().now().date();
    ui->dteTo->setDate(today);
    ui->dteFrom->setDate(today.addDays(-13));
    m_chart = new QChartView(ui->chartHolder);
    m_chart->setObjectName(QStringLiteral("chtReport"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(280);
    ui->layChart->addWidget(m_chart);
    connect(ui->cmdShow, &QPushButton::clicked, this, &frmReports::cmdShow_Click);
    connect(ui->cmdExport, &QPushButton::clicked, this, &frmReports::cmdExport_Click);
    connect(ui->cmdQueueAgain, &QPushButton::clicked, this, &frmReports::cmdQueueAgain_Click);
    ui->grdReasons->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    ui->grdReasons->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    ui->grdReasons->setMinimumWidth(ui->grdReasons->fontMetrics().horizontalAdvance(QString(34, QLatin1Char('n'))));
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::close);
    cmdShow_Click();
}

frmReports::~frmReports() = default;

void frmReports::cmdShow_Click()
{
    QDate from = ui->dteFrom->date();
    QDate to = ui->dteTo->date();
    if (from > to)
        std::swap(from, to);
    if (!MessageBoxes::runShowingErrors(this, [&] {
            m_report = CampaignReport::build(from, to, CampaignReport::Period(ui->cboPeriod->currentData().toInt()));
        }))
        return;
    showChart();
    showReasons();
    const CampaignReport::Bucket &t = m_report.total;
    ui->lblSummary->setText(
        QStringLiteral("Sent %1, delivered %2 (delivery rate %3%), failed %4, pending %5, kept back because they "
                       "opted out %6. Replies %7, new opt-outs %8. Credits used %9.")
            .arg(t.sent)
            .arg(t.delivered)
            .arg(QString::number(100.0 * m_report.deliveryRate(), 'f', 1))
            .arg(t.failed)
            .arg(t.pending)
            .arg(t.optedOut)
            .arg(t.replies)
            .arg(t.optOuts)
            .arg(t.credits));
}

namespace {

// A figure of the chart: its name, colour, and count in one period.
struct Shown
{
    QString name;
    QColor colour;
    std::function<int(const CampaignReport::Bucket &)> count;
};

} // namespace

void frmReports::showChart()
{
    auto *chart = new QChart;
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart->setTitle(QStringLiteral("Messages, replies and opt-outs"));
    // One stacked bar a period for what became of its messages, so a
    // fortnight's bars stay wide enough to read; replies and new opt-outs
    // are lines over them. Each has a hue of its own, the same in a light
    // and a dark chart.
    auto *outcomes = new QStackedBarSeries;
    const QList<Shown> bars = {
        {QStringLiteral("Delivered"), QColor(0x2e, 0x9e, 0x4f),
         [](const CampaignReport::Bucket &b) { return b.delivered; }},
        {QStringLiteral("Sent, not yet delivered"), QColor(0xe0, 0xb4, 0x1b),
         [](const CampaignReport::Bucket &b) { return b.sent - b.delivered; }},
        {QStringLiteral("Failed"), QColor(0xd6, 0x3c, 0x3c), [](const CampaignReport::Bucket &b) { return b.failed; }},
        {QStringLiteral("Pending"), QColor(0x8c, 0x8c, 0x8c),
         [](const CampaignReport::Bucket &b) { return b.pending; }},
        {QStringLiteral("Kept back (opted out)"), QColor(0x8e, 0x5c, 0xc8),
         [](const CampaignReport::Bucket &b) { return b.optedOut; }}};
    int highest = 1;
    for (const CampaignReport::Bucket &bucket : m_report.buckets) {
        int stacked = 0;
        for (const Shown &bar : bars)
            stacked += bar.count(bucket);
        highest = std::max({highest, stacked, bucket.replies, bucket.optOuts});
    }
    for (const Shown &bar : bars) {
        auto *set = new QBarSet(bar.name);
        set->setColor(bar.colour);
        set->setBorderColor(bar.colour);
        for (const CampaignReport::Bucket &bucket : m_report.buckets)
            set->append(bar.count(bucket));
        outcomes->append(set);
    }
    outcomes->setBarWidth(0.7);
    chart->addSeries(outcomes);
    const QList<Shown> lines = {{QStringLiteral("Replies"), QColor(0x2f, 0x7f, 0xd8),
                                 [](const CampaignReport::Bucket &b) { return b.replies; }},
                                {QStringLiteral("New opt-outs"), QColor(0xe8, 0x6a, 0x10),
                                 [](const CampaignReport::Bucket &b) { return b.optOuts; }}};
    QList<QLineSeries *> lineSeries;
    for (const Shown &line : lines) {
        auto *series = new QLineSeries;
        series->setName(line.name);
        series->setPen(QPen(line.colour, 3));
        series->setPointsVisible(true);
        for (int i = 0; i < m_report.buckets.size(); ++i)
            series->append(i, line.count(m_report.buckets.at(i)));
        chart->addSeries(series);
        lineSeries << series;
    }
    QStringList labels;
    // Short labels, so that a fortnight of days fits under the chart.
    const QString format =
        m_report.period == CampaignReport::Period::Month ? QStringLiteral("MMM yyyy") : QStringLiteral("d/M");
    for (const CampaignReport::Bucket &bucket : m_report.buckets)
        labels << (m_report.period == CampaignReport::Period::Week ? QStringLiteral("week of ") : QString())
                      + QLocale().toString(bucket.start, format);
    auto *categories = new QBarCategoryAxis;
    categories->append(labels);
    // Upright labels need only a line's height of each category's width;
    // slanted ones are cut short once a fortnight shares a narrow chart.
    if (labels.size() > 10)
        categories->setLabelsAngle(-90);
    chart->addAxis(categories, Qt::AlignBottom);
    outcomes->attachAxis(categories);
    auto *values = new QValueAxis;
    // A little room above the highest bar; whole numbers only on the axis.
    highest = std::max(highest + 1, 4);
    values->setRange(0, highest);
    values->setLabelFormat(QStringLiteral("%d"));
    if (highest <= 10)
        values->setTickCount(highest + 1);
    else
        values->applyNiceNumbers();
    chart->addAxis(values, Qt::AlignLeft);
    outcomes->attachAxis(values);
    // The lines run over the bars' categories: point i is the i-th period.
    for (QLineSeries *series : lineSeries) {
        series->attachAxis(categories);
        series->attachAxis(values);
    }
    // Seven names do not fit in one row under a chart of a fitted window;
    // beside it each is shown whole.
    chart->legend()->setAlignment(Qt::AlignRight);
    QChart *old = m_chart->chart();
    m_chart->setChart(chart);
    delete old;
}

void frmReports::showReasons()
{
    ui->grdReasons->clearContents();
    ui->grdReasons->setRowCount(int(m_report.failures.size()));
    for (int row = 0; row < m_report.failures.size(); ++row) {
        const CampaignReport::Failures &failed = m_report.failures.at(row);
        auto *reason = new QTableWidgetItem(failed.reason);
        reason->setToolTip(failed.reason);
        auto *count = new QTableWidgetItem(QString::number(failed.count));
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        ui->grdReasons->setItem(row, 0, reason);
        ui->grdReasons->setItem(row, 1, count);
    }
    ui->grdReasons->resizeRowsToContents();
}

void frmReports::cmdQueueAgain_Click()
{
    const QList<QTableWidgetItem *> selected = ui->grdReasons->selectedItems();
    const QString reason = selected.isEmpty() ? QString() : ui->grdReasons->item(selected.first()->row(), 0)->text();
    const QString range = m_report.from == m_report.to
                              ? QStringLiteral("on ") + m_report.from.toString(Qt::ISODate)
                              : QStringLiteral("from %1 to %2")
                                    .arg(m_report.from.toString(Qt::ISODate), m_report.to.toString(Qt::ISODate));
    const QString which = reason.isEmpty() ? QString() : QStringLiteral(" (\"%1\")").arg(reason);
    QList<CampaignReport::Failed> failed;
    if (!MessageBoxes::runShowingErrors(
            this, [&] { failed = CampaignReport::failedToQueueAgain(m_report.from, m_report.to, reason); }))
        return;
    if (failed.isEmpty()) {
        MessageBoxes::inform(this, QStringLiteral("QUEUE AGAIN"),
                             QStringLiteral("No failed message%1 %2 can be queued again.").arg(which, range));
        return;
    }
    const QString question = (failed.size() == 1 ? QStringLiteral("Queue again the %1 message that failed%2 %3?")
                                                 : QStringLiteral("Queue again the %1 messages that failed%2 %3?"))
                                 .arg(QString::number(failed.size()), which, range);
    if (!MessageBoxes::ask(this, QStringLiteral("QUEUE AGAIN"), question))
        return;
    CampaignReport::QueuedAgain result;
    if (!MessageBoxes::runShowingErrors(this, [&] { result = CampaignReport::queueAgain(failed); }))
        return;
    CampaignNotices::tellLeftOut(this, result.leftOut);
    MessageBoxes::inform(this, QStringLiteral("QUEUE AGAIN"),
                         result.queued == 1 ? QStringLiteral("1 message was queued again.")
                                            : QStringLiteral("%1 messages were queued again.").arg(result.queued));
    cmdShow_Click();
}

void frmReports::cmdExport_Click()
{
    const QString path = FileDialogs::saveFileName(
        this, QStringLiteral("Export Report"), QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*"),
        FileDialogs::datedName(QStringLiteral("report"), QStringLiteral("csv")));
    if (path.isEmpty())
        return;
    MessageBoxes::runShowingErrors(this, [&] { CampaignReport::exportCsv(m_report, path); });
}
