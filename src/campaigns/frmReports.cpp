#include "campaigns/frmReports.h"
#include "ui_frmReports.h"

#include "campaigns/Clock.h"
#include "data/AppError.h"
#include "ui/BusyPointer.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBoxes.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QLocale>
#include <QValueAxis>

frmReports::frmReports(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmReports>())
{
    ui->setupUi(this);
    ui->cboPeriod->addItem(QStringLiteral("Day"), int(CampaignReport::Period::Day));
    ui->cboPeriod->addItem(QStringLiteral("Week"), int(CampaignReport::Period::Week));
    ui->cboPeriod->addItem(QStringLiteral("Month"), int(CampaignReport::Period::Month));
    for (QDateEdit *edit : {ui->dteFrom, ui->dteTo})
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) + 40);
    const QDate today = CampaignClock::now().date();
    ui->dteTo->setDate(today);
    ui->dteFrom->setDate(today.addDays(-13));
    m_chart = new QChartView(ui->chartHolder);
    m_chart->setObjectName(QStringLiteral("chtReport"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(280);
    ui->layChart->addWidget(m_chart);
    connect(ui->cmdShow, &QPushButton::clicked, this, &frmReports::cmdShow_Click);
    connect(ui->cmdExport, &QPushButton::clicked, this, &frmReports::cmdExport_Click);
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
    try {
        BusyPointer busy;
        m_report = CampaignReport::build(from, to, CampaignReport::Period(ui->cboPeriod->currentData().toInt()));
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
        return;
    }
    showChart();
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

void frmReports::showChart()
{
    auto *chart = new QChart;
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart->setTitle(QStringLiteral("Messages, replies and opt-outs"));
    auto *series = new QBarSeries;
    const QList<QPair<QString, int CampaignReport::Bucket::*>> sets = {
        {QStringLiteral("Sent"), &CampaignReport::Bucket::sent},
        {QStringLiteral("Delivered"), &CampaignReport::Bucket::delivered},
        {QStringLiteral("Failed"), &CampaignReport::Bucket::failed},
        {QStringLiteral("Pending"), &CampaignReport::Bucket::pending},
        {QStringLiteral("Opted out"), &CampaignReport::Bucket::optedOut},
        {QStringLiteral("Replies"), &CampaignReport::Bucket::replies},
        {QStringLiteral("Opt-outs"), &CampaignReport::Bucket::optOuts}};
    int highest = 1;
    for (const auto &[name, member] : sets) {
        auto *set = new QBarSet(name);
        for (const CampaignReport::Bucket &bucket : m_report.buckets) {
            set->append(bucket.*member);
            highest = std::max(highest, bucket.*member);
        }
        series->append(set);
    }
    series->setBarWidth(0.9);
    chart->addSeries(series);
    QStringList labels;
    // Short labels, so that a fortnight of days fits under the chart.
    const QString format =
        m_report.period == CampaignReport::Period::Month ? QStringLiteral("MMM yyyy") : QStringLiteral("d/M");
    for (const CampaignReport::Bucket &bucket : m_report.buckets)
        labels << (m_report.period == CampaignReport::Period::Week ? QStringLiteral("week of ") : QString())
                      + QLocale().toString(bucket.start, format);
    auto *categories = new QBarCategoryAxis;
    categories->append(labels);
    chart->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);
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
    series->attachAxis(values);
    chart->legend()->setAlignment(Qt::AlignBottom);
    QChart *old = m_chart->chart();
    m_chart->setChart(chart);
    delete old;
}

void frmReports::cmdExport_Click()
{
    const QString path = FileDialogs::saveFileName(this, QStringLiteral("Export Report"),
                                                   QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*"));
    if (path.isEmpty())
        return;
    try {
        BusyPointer busy;
        CampaignReport::exportCsv(m_report, path);
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
    }
}
