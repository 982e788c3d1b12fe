#include "ComposeTestSupport.h"
#include "GuiTestSupport.h"

#include "app/modMain.h"
#include "compose/frmImport.h"
#include "settings/cRegistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace ComposeTest;

class tst_frmImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithItsControls();
    void browseLoadsTheFile();
    void cancelledBrowseChangesNothing();
    void reasonsAreAppended();
    void rowsAreColouredByTheirChecks();
    void shortLinesAreReported();
    void importQueuesTheListAndTheClosingRow();
    void importWithoutDatabaseDoesNothing();
    void windows1252AndUtf8Files();
    void aLongListLoadsAndImportsWhole();
    void messageSurvivesARestart();
    void aFailingStoreIsShown();

private:
    void open()
    {
        window = new frmImport;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    template<typename T>
    T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QTableView *grid() const { return child<QTableView>("grdList"); }
    QString cell(int row, int column) const { return grid()->model()->index(row, column).data().toString(); }
    QColor colour(int row) const
    {
        return grid()->model()->index(row, 2).data(Qt::BackgroundRole).value<QBrush>().color();
    }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = QDir(home.path()).filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    void browse(const QString &path)
    {
        dialogs->choose(path);
        QTest::mouseClick(child<QPushButton>("cmdBrowse"), Qt::LeftButton);
    }
    void clickImport() { QTest::mouseClick(child<QPushButton>("cmdImport"), Qt::LeftButton); }
    static QString storedMessage()
    {
        cRegistry registry;
        registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
        registry.setSectionKey(QStringLiteral("Software\\Halvard Systems\\Halvard SMS Importer\\Settings"));
        registry.setValueType(cRegistry::REG_SZ);
        registry.setValueKey(QStringLiteral("Message"));
        return registry.Value().toString();
    }

    TestHome home;
    ScriptedMessageBoxes *boxes = nullptr;
    ScriptedFileDialogs *dialogs = nullptr;
    frmImport *window = nullptr;
};

void tst_frmImport::init()
{
    home.freshDatabase();
    QFile::remove(cRegistry::hivePath());
    boxes = new ScriptedMessageBoxes;
    dialogs = new ScriptedFileDialogs;
}

void tst_frmImport::cleanup()
{
    delete window;
    window = nullptr;
    delete dialogs;
    delete boxes;
}

void tst_frmImport::opensWithItsControls()
{
    open();
    QCOMPARE(window->windowTitle(), QStringLiteral("Importer"));
    QCOMPARE(child<QPushButton>("cmdBrowse")->text(), QStringLiteral("Browse"));
    QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("Text file for importing must be in the CSV format: ID, Number"));
    QCOMPARE(child<QCheckBox>("chkLastField")->text(), QStringLiteral("Import last field as reason"));
    QCOMPARE(child<QLineEdit>("txtCellNumber")->text(), QStringLiteral("082"));
    QVERIFY(!child<QCheckBox>("chkSelfSend")->isChecked());
    QCOMPARE(child<QPushButton>("cmdImport")->text(), QStringLiteral("&Import"));
    QCOMPARE(child<QPushButton>("cmdClose")->text(), QStringLiteral("&Close"));
    QCOMPARE(child<QLabel>("lblRecords")->text(), QString());
    QCOMPARE(child<QPlainTextEdit>("txtMessage")->toPlainText(), QString());

    const QStringList instructions = child<QLabel>("Label7")->text().split(QLatin1Char('\n'));
    QCOMPARE(instructions, (QStringList{
        QStringLiteral("Instrunctions:"),
        QStringLiteral("1. Enter your message you want to send to the list."),
        QStringLiteral("2. If you want to be the last person in the list to receive a message, tick the Send to "
                       "myself when finished box and enter your cellphone number."),
        QStringLiteral("3. Browse for the file to be loaded. Once it is loaded on the screen and everything looks ok, "
                       "you can click Import. This will add the list with message to your Outbox.")}));

    QStringList frames;
    for (const QGroupBox *frame : window->findChildren<QGroupBox *>())
        frames << frame->title();
    QVERIFY(frames.contains(QStringLiteral("Legend")));
    QVERIFY(frames.contains(QStringLiteral("Send To Myself When Finished")));
    QStringList labels;
    for (const QLabel *label : window->findChildren<QLabel *>())
        labels << label->text();
    for (const char *text : {"No Cell Number", "Cell Number To Short", "Message to long", "List of SMS's",
                             "Message To Use:", "Select Import File"})
        QVERIFY2(labels.contains(QString::fromLatin1(text)), text);

    QCOMPARE(grid()->model()->columnCount(), 3);
    QCOMPARE(grid()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ID"));
    QCOMPARE(grid()->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Cellphone"));
    QCOMPARE(grid()->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Message"));
}

void tst_frmImport::browseLoadsTheFile()
{
    const QString path = writeFile(QStringLiteral("list.txt"),
                                   "ID, Number\r\n1001, 0821111111\r\n\r\n1002,0822222222\r\n   \r\n1003 , 0823333333 \r\n");
    open();
    child<QPlainTextEdit>("txtMessage")->setPlainText(QStringLiteral("  Your debit order was returned.  "));
    browse(path);
    QCOMPARE(dialogs->asked().size(), 1);
    QCOMPARE(dialogs->asked()[0].title, QStringLiteral("SELECT IMPORT FILE"));
    QCOMPARE(dialogs->asked()[0].filter, QStringLiteral("Text Files (*.txt)"));
    QCOMPARE(dialogs->asked()[0].directory, QString());
    QCOMPARE(child<QLineEdit>("txtFile")->text(), path);
    QCOMPARE(boxes->titles(), QStringList{QStringLiteral("IMPORT")});
    QCOMPARE(boxes->last().text, QStringLiteral("Done Loading File"));
    QCOMPARE(boxes->last().icon, QMessageBox::Information);
    QCOMPARE(child<QLabel>("lblRecords")->text(), QStringLiteral("6"));
    QCOMPARE(grid()->model()->rowCount(), 3);
    QCOMPARE(cell(2, 0), QStringLiteral("1003"));
    QCOMPARE(cell(2, 1), QStringLiteral("0823333333"));
    QCOMPARE(cell(2, 2), QStringLiteral("Your debit order was returned."));
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // The rows keep the message they were loaded with until the file is loaded again.
    child<QPlainTextEdit>("txtMessage")->setPlainText(QStringLiteral("Changed"));
    QCOMPARE(cell(0, 2), QStringLiteral("Your debit order was returned."));
    browse(path);
    QCOMPARE(cell(0, 2), QStringLiteral("Changed"));
    QCOMPARE(grid()->model()->rowCount(), 3);
}

void tst_frmImport::cancelledBrowseChangesNothing()
{
    open();
    dialogs->cancel();
    QTest::mouseClick(child<QPushButton>("cmdBrowse"), Qt::LeftButton);
    QVERIFY(boxes->shown().isEmpty());
    QCOMPARE(child<QLineEdit>("txtFile")->text(), QString());

    // A path that does not exist: nothing happens, without a message.
    browse(QDir(home.path()).filePath(QStringLiteral("gone.txt")));
    QVERIFY(boxes->shown().isEmpty());
    QCOMPARE(grid()->model()->rowCount(), 0);
}

void tst_frmImport::reasonsAreAppended()
{
    const QString path = writeFile(QStringLiteral("reasons.txt"),
                                   "1,0821111111,2\n2,0822222222,02\n3,0823333333,2.5\n4,0824444444,99\n"
                                   "5,0825555555,Card expired\n6,0826666666,82506\n");
    open();
    child<QPlainTextEdit>("txtMessage")->setPlainText(QStringLiteral("Debit returned: "));
    child<QCheckBox>("chkLastField")->setChecked(true);
    browse(path);
    const QStringList expected = {QStringLiteral("Debit returned:Insufficient funds"),
                                  QStringLiteral("Debit returned:Insufficient funds"),
                                  QStringLiteral("Debit returned:2.5"), QStringLiteral("Debit returned:99"),
                                  QStringLiteral("Debit returned:Card expired"),
                                  QStringLiteral("Debit returned:Invalid Homing Acc")};
    QCOMPARE(grid()->model()->rowCount(), 6);
    for (int row = 0; row < 6; ++row)
        QCOMPARE(cell(row, 2), expected[row]);

    child<QCheckBox>("chkLastField")->setChecked(false);
    browse(path);
    QCOMPARE(cell(0, 2), QStringLiteral("Debit returned:"));
}

void tst_frmImport::rowsAreColouredByTheirChecks()
{
    // The message is the text and the reason together: 150 + 8 and 150 + 9.
    const QByteArray text(150, 'm');
    const QString path = writeFile(QStringLiteral("checks.txt"),
                                   "1,0821234567,12345678\n"   // 158: not marked
                                   "2,0821234567,123456789\n"  // 159: yellow
                                   "3,082123456,1\n"           // 9 characters: pink
                                   "4,,1\n"                    // no number: light red
                                   "5,0821234567,1\n");        // 10 characters: not marked
    open();
    child<QPlainTextEdit>("txtMessage")->setPlainText(QString::fromLatin1(text));
    child<QCheckBox>("chkLastField")->setChecked(true);
    browse(path);
    QCOMPARE(grid()->model()->rowCount(), 5);
    QCOMPARE(cell(0, 2).size(), 158);
    QVERIFY(!grid()->model()->index(0, 2).data(Qt::BackgroundRole).isValid());
    QCOMPARE(colour(1), QColor(0xFF, 0xFF, 0x00));
    QCOMPARE(colour(2), QColor(0xFF, 0x80, 0xC0));
    QCOMPARE(colour(3), QColor(0xFF, 0x80, 0x80));
    QVERIFY(!grid()->model()->index(4, 0).data(Qt::BackgroundRole).isValid());
    // The whole row takes the colour.
    QCOMPARE(grid()->model()->index(2, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(0xFF, 0x80, 0xC0));

    // Coloured rows are imported like the others, the empty number too.
    clickImport();
    QCOMPARE(outboxCount(), 5);
    QCOMPARE(outbox()[3].value("Number").toString(), QString());
}

void tst_frmImport::shortLinesAreReported()
{
    const QString path = writeFile(QStringLiteral("short.txt"), "1,0821111111,2\n2,0822222222\njust text\n4,0824444444,3\n");
    open();
    child<QCheckBox>("chkLastField")->setChecked(true);
    browse(path);
    QCOMPARE(boxes->titles(), (QStringList{QStringLiteral("IMPORT"), QStringLiteral("IMPORT")}));
    QCOMPARE(boxes->shown()[0].text, QStringLiteral("Done Loading File"));
    QCOMPARE(boxes->shown()[1].text,
             QStringLiteral("2 lines were not loaded because they have fewer than 3 fields: lines 2, 3."));
    QCOMPARE(grid()->model()->rowCount(), 2);
    QCOMPARE(child<QLabel>("lblRecords")->text(), QStringLiteral("4"));
}

void tst_frmImport::importQueuesTheListAndTheClosingRow()
{
    const QString path = writeFile(QStringLiteral("list.txt"),
                                   "Account,Cellphone\n100231,0821111111\n100232, 0822222222 \n100233,0823333333\n"
                                   "100234,082555123\n100235,\n100236,0716543210\n");
    open();
    child<QPlainTextEdit>("txtMessage")->setPlainText(
        QStringLiteral("Your debit order was returned unpaid.\nPlease call 011 555 0100 to arrange payment."));
    browse(path);
    child<QCheckBox>("chkSelfSend")->setChecked(true);
    child<QLineEdit>("txtCellNumber")->setText(QStringLiteral(" 0827654321 "));
    boxes->clear();
    clickImport();
    QCOMPARE(boxes->titles(), QStringList{QStringLiteral("IMPORTING")});
    QCOMPARE(boxes->last().text, QStringLiteral("Done Importing 6 records and 1 to yourself"));
    const auto rows = outbox();
    QCOMPARE(rows.size(), 7);
    QCOMPARE(rows[1].value("Number").toString(), QStringLiteral("0822222222"));
    QCOMPARE(rows[1].value("Message").toString(),
             QStringLiteral("Your debit order was returned unpaid.\r\nPlease call 011 555 0100 to arrange payment."));
    QCOMPARE(rows[4].value("Number").toString(), QString());
    QCOMPARE(rows[6].value("Number").toString(), QStringLiteral("0827654321"));
    QCOMPARE(rows[6].value("Message").toString(), QStringLiteral("Finished Sending."));
    QVERIFY(rows[0].value("SendDate").isNull());
    QVERIFY(rows[0].value("ClientID").isNull());

    saveScreenshot(window, QStringLiteral("frmImport"));
    const QSize normal = window->size();
    window->resize(window->minimumSizeHint());
    saveScreenshot(window, QStringLiteral("frmImport-smallest"));
    window->resize(1280, 900);
    saveScreenshot(window, QStringLiteral("frmImport-large"));
    window->resize(normal);

    // Without the tick, or with a blank number, no closing row.
    child<QLineEdit>("txtCellNumber")->setText(QStringLiteral("   "));
    clickImport();
    QCOMPARE(boxes->last().text, QStringLiteral("Done Importing 6 records"));
    child<QCheckBox>("chkSelfSend")->setChecked(false);
    child<QLineEdit>("txtCellNumber")->setText(QStringLiteral("0829999999"));
    clickImport();
    QCOMPARE(boxes->last().text, QStringLiteral("Done Importing 6 records"));
    QCOMPARE(outboxCount(), 19);
}

void tst_frmImport::importWithoutDatabaseDoesNothing()
{
    open();
    child<QCheckBox>("chkSelfSend")->setChecked(true);
    const QString saved = modMain::DatabasePath;
    modMain::DatabasePath = QDir(home.path()).filePath(QStringLiteral("nowhere/SMSData.db"));
    clickImport();
    modMain::DatabasePath = saved;
    QVERIFY(boxes->shown().isEmpty());
    QCOMPARE(outboxCount(), 0);

    // With the database there, an empty grid still reports.
    clickImport();
    QCOMPARE(boxes->last().text, QStringLiteral("Done Importing 0 records and 1 to yourself"));
}

void tst_frmImport::windows1252AndUtf8Files()
{
    open();
    child<QCheckBox>("chkLastField")->setChecked(true);
    browse(writeFile(QStringLiteral("ansi.txt"), "1,0821111111,Caf\xE9 ferm\xE9\r\n"));
    QCOMPARE(cell(0, 2), QStringLiteral("Caf\u00E9 ferm\u00E9"));
    browse(writeFile(QStringLiteral("utf8.txt"), "1,0821111111,Caf\xC3\xA9 \xE2\x82\xAC""5\n"));
    QCOMPARE(cell(0, 2), QStringLiteral("Caf\u00E9 \u20AC5"));
}

void tst_frmImport::aLongListLoadsAndImportsWhole()
{
    QByteArray bytes;
    for (int i = 1; i <= 100000; ++i)
        bytes += QByteArray::number(i) + ",08" + QByteArray::number(10000000 + i) + "\r\n";
    const QString path = writeFile(QStringLiteral("long.txt"), bytes);
    open();
    child<QPlainTextEdit>("txtMessage")->setPlainText(QStringLiteral("Reminder"));
    browse(path);
    QCOMPARE(grid()->model()->rowCount(), 100000);
    QCOMPARE(child<QLabel>("lblRecords")->text(), QStringLiteral("100000"));
    grid()->scrollToBottom();
    QCOMPARE(cell(99999, 1), QStringLiteral("0810100000"));
    clickImport();
    QCOMPARE(boxes->last().text, QStringLiteral("Done Importing 100000 records"));
    QCOMPARE(outboxCount(), 100000);
}

void tst_frmImport::messageSurvivesARestart()
{
    open();
    child<QPlainTextEdit>("txtMessage")->setPlainText(QStringLiteral("  Dear client,\nyour debit failed.  "));
    QTest::mouseClick(child<QPushButton>("cmdClose"), Qt::LeftButton);
    QVERIFY(!window->isVisible());
    // Stored as typed, line break as CR LF.
    QCOMPARE(storedMessage(), QStringLiteral("  Dear client,\r\nyour debit failed.  "));
    delete window;
    window = nullptr;

    open();
    QCOMPARE(child<QPlainTextEdit>("txtMessage")->toPlainText(), QStringLiteral("Dear client,\nyour debit failed."));

    // Closed another way (the window's close box) it is stored as well.
    child<QPlainTextEdit>("txtMessage")->setPlainText(QStringLiteral("Second text"));
    window->close();
    QCOMPARE(storedMessage(), QStringLiteral("Second text"));
    QVERIFY(boxes->shown().isEmpty());
}

void tst_frmImport::aFailingStoreIsShown()
{
    // A settings file that is not what the store wrote is never overwritten:
    // the store refuses, and the operator is told.
    const QString hive = cRegistry::hivePath();
    QVERIFY(QDir().mkpath(QFileInfo(hive).absolutePath()));
    QFile broken(hive);
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("{ this is not json");
    broken.close();

    open();
    child<QPlainTextEdit>("txtMessage")->setPlainText(QStringLiteral("Keep me"));
    window->close();
    QCOMPARE(boxes->titles(), QStringList{QStringLiteral("ERROR")});
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QVERIFY2(boxes->last().text.contains(QStringLiteral(" - ")), qPrintable(boxes->last().text));
}

QTEST_MAIN(tst_frmImport)
#include "tst_frmImport.moc"
