-- The Tellwave database, on either engine. Every statement may run again on a
-- database that already has part of it (that is how an older one is brought
-- up to date).
-- Written in SQLite's dialect, like every statement of the program; on
-- PostgreSQL it is run through Database's dialect, which spells the keys,
-- the types of dates and times and the views the server's way (see
-- DatabaseDialect.cpp). The SQLite file keeps the text of each table, index
-- and view as it is written here.
-- A statement preceded by the line "-- engine: PostgreSQL" (or SQLite) is
-- run on that engine alone.
-- Keys are AUTOINCREMENT so they grow in insert order and are never reused.
-- Booleans are 0/1 and default to false. Identifiers are unquoted, so the
-- server stores them in lower case and finds them in any case.

-- engine: PostgreSQL
-- Names compare without regard to case, letters outside ASCII in their
-- alphabetical place: "ORDER BY LastName COLLATE Names". The SQLite file has
-- the program's own collation of that name (DatabaseFunctions.cpp).
DO $$ BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_collation WHERE collname = 'names' AND collnamespace = current_schema()::regnamespace) THEN
        CREATE COLLATION names (provider = icu, locale = 'en-ZA-u-ks-level2', deterministic = false);
    END IF;
END $$;

-- engine: PostgreSQL
-- The schema's version; the SQLite file keeps it in its user_version.
CREATE TABLE IF NOT EXISTS TellwaveSchema (
    Version INTEGER NOT NULL
);

CREATE TABLE IF NOT EXISTS Clients (
    ClientID      INTEGER PRIMARY KEY AUTOINCREMENT,
    AssNo         TEXT,
    LastName      TEXT,
    FirstName     TEXT,
    Initials      TEXT,
    Salute        TEXT,
    EnrollerAssNo TEXT,
    Company       TEXT,
    Address1      TEXT,
    Address2      TEXT,
    Address3      TEXT,
    PostalCode    TEXT,
    TelWork       TEXT,
    TelHome       TEXT,
    Fax           TEXT,
    Mobile        TEXT,
    EMail         TEXT,
    Selected      INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS Clients_Mobile ON Clients (trim(coalesce(Mobile, '')));
-- The contact list in code and in last-name order reads a page at a time
-- from these, however many contacts there are. They are in the program's
-- name collation, so a tool without it can read Clients but not change it.
-- On the server a name term is ordered with its NULLs first, as on SQLite.
CREATE INDEX IF NOT EXISTS Clients_AssNo ON Clients (AssNo COLLATE Names, ClientID);
CREATE INDEX IF NOT EXISTS Clients_LastName ON Clients (LastName COLLATE Names, ClientID);

CREATE TABLE IF NOT EXISTS Groups (
    GroupID INTEGER PRIMARY KEY AUTOINCREMENT,
    Name    TEXT
);

CREATE TABLE IF NOT EXISTS GroupLinking (
    GroupID  INTEGER,
    ClientID INTEGER
);
CREATE INDEX IF NOT EXISTS GroupLinking_Group ON GroupLinking (GroupID, ClientID);
CREATE INDEX IF NOT EXISTS GroupLinking_Client ON GroupLinking (ClientID);

CREATE TABLE IF NOT EXISTS SMSSend (
    SMSSendID INTEGER PRIMARY KEY AUTOINCREMENT,
    ClientID  INTEGER,
    Number    TEXT,
    Message   TEXT,
    SendDate  DATE,
    SendTime  TEXT,
    EventID   TEXT,
    Send      INTEGER NOT NULL DEFAULT 0,
    Delivered INTEGER NOT NULL DEFAULT 0,
    SentID    TEXT,
    -- Not 0 from just before the message is posted until its answer is stored:
    -- a row still marked after a run may have reached the gateway.
    InFlight  INTEGER NOT NULL DEFAULT 0,
    Marketing INTEGER NOT NULL DEFAULT 0,
    PostedAt  TEXT,
    BatchID   INTEGER,
    FailReason  TEXT,
    QueuedAgain INTEGER NOT NULL DEFAULT 0,
    ConfirmsOptOut INTEGER NOT NULL DEFAULT 0,
    NumberKey   TEXT
);
-- Marketing: 1 for a marketing message (posted only within the permitted
-- hours), 0 for a service message. PostedAt: when the message was posted to
-- the gateway (UTC, ISO 8601), kept as proof of the time it went out.
-- BatchID: the scheduled queueing the row belongs to (SendBatches); NULL for
-- a row sent at the next run.
-- FailReason: why a row attempted but not accepted failed (the gateway's
-- reason for a refusal). QueuedAgain: 1 once a failed row was queued again
-- as a new row, so that it is not queued again twice. ConfirmsOptOut: 1 for
-- the one service message that confirms an opt-out to the number that opted
-- out; the opt-out list lets exactly that row through.
CREATE INDEX IF NOT EXISTS SMSSend_Batch ON SMSSend (BatchID) WHERE Send = 0;

-- A queueing with a send-at time: its rows are not posted before SendAt, nor
-- while Held is 1 (overdue at start-up and not confirmed by the operator).
CREATE TABLE IF NOT EXISTS SendBatches (
    BatchID     INTEGER PRIMARY KEY AUTOINCREMENT,
    QueuedAt    TEXT NOT NULL,  -- UTC, ISO 8601
    SendAt      TEXT NOT NULL,  -- UTC, ISO 8601 (yyyy-MM-ddTHH:mm:ssZ)
    Description TEXT,           -- what was queued ("Group Friends")
    Held        INTEGER NOT NULL DEFAULT 0
);
-- The send runs that claim outbox rows: SMSSend.InFlight holds the Token of
-- the run that claimed the row. A run beats (HeartbeatAt) while it goes and
-- writes EndedAt when it ends; a run that is not ended, whose heartbeat is
-- older than a minute or (on its own machine) whose process is gone, is
-- ended by the next program that looks. Rows of ended runs are in doubt.
-- Times: UTC, ISO 8601 with milliseconds.
CREATE TABLE IF NOT EXISTS SendRuns (
    Token       INTEGER PRIMARY KEY,
    Machine     TEXT NOT NULL,
    Process     BIGINT NOT NULL,
    StartedAt   TEXT NOT NULL,
    HeartbeatAt TEXT NOT NULL,
    EndedAt     TEXT
);
CREATE INDEX IF NOT EXISTS SMSSend_InFlight ON SMSSend (InFlight) WHERE InFlight <> 0;
-- The queue: rows not yet attempted, in key order and newest first.
CREATE INDEX IF NOT EXISTS SMSSend_Queue ON SMSSend (SMSSendID) WHERE Send = 0;
CREATE INDEX IF NOT EXISTS SMSSend_QueueByDate ON SMSSend (SendDate, SendTime) WHERE Send = 0;
-- The reports find a range of days' messages: posted, or queued for then.
CREATE INDEX IF NOT EXISTS SMSSend_Day ON SMSSend (coalesce(PostedAt, SendDate));

CREATE TABLE IF NOT EXISTS SMSReplies (
    SMSReplyID       INTEGER PRIMARY KEY AUTOINCREMENT,
    IncomingID       TEXT,
    PhoneNumber      TEXT,
    ReceivedDateTime DATETIME,
    Message          TEXT,
    SentMessage      TEXT,
    SentDateTime     DATETIME,
    SMSSendID        INTEGER,
    OptOut           INTEGER NOT NULL DEFAULT 0,
    NumberKey        TEXT
);
-- OptOut: what the reply did to the opt-out list: 0 nothing, 1 opted out,
-- 2 possible opt-out (flagged for the operator), 3 lifted an opt-out, 4 a
-- possible opt-out the operator confirmed.
-- A reply is looked up by its identifier without surrounding blanks.
-- engine: SQLite
CREATE INDEX IF NOT EXISTS SMSReplies_Incoming ON SMSReplies (trim(coalesce(IncomingID, '')));
-- engine: PostgreSQL
-- Each reply is stored once, however many programs fetch it at the same time.
CREATE UNIQUE INDEX IF NOT EXISTS SMSReplies_Incoming ON SMSReplies (trim(coalesce(IncomingID, '')))
    WHERE trim(coalesce(IncomingID, '')) <> '';
CREATE INDEX IF NOT EXISTS SMSReplies_Received ON SMSReplies (ReceivedDateTime);
-- engine: PostgreSQL
-- The inbox, newest first, reads a page at a time from this one (on SQLite
-- the index above holds the key already).
CREATE INDEX IF NOT EXISTS SMSReplies_ReceivedKey ON SMSReplies (ReceivedDateTime, SMSReplyID);
-- A conversation: every message to and from one person, found by the key of
-- the number (its E.164 form, however it was written; see PhoneNumbers).
CREATE INDEX IF NOT EXISTS SMSSend_NumberKey ON SMSSend (NumberKey, SMSSendID);
CREATE INDEX IF NOT EXISTS SMSReplies_NumberKey ON SMSReplies (NumberKey, ReceivedDateTime);

CREATE TABLE IF NOT EXISTS Setup (
    Username       TEXT,
    Password       TEXT,
    LastHighestTrn NUMERIC NOT NULL DEFAULT 0,
    SenderName     TEXT
);
-- SenderName: who marketing messages say they are from.

CREATE TABLE IF NOT EXISTS PostalCodes (
    ID         INTEGER PRIMARY KEY AUTOINCREMENT,
    Area       TEXT,
    Town       TEXT,
    BoxCode    TEXT,
    StreetCode TEXT,
    AreaGroup  TEXT
);

CREATE VIEW IF NOT EXISTS ClientsBelongingToGroups AS
SELECT GroupLinking.GroupID AS GroupID,
       Groups.Name          AS Name,
       Clients.ClientID     AS ClientID,
       Clients.AssNo        AS AssNo,
       Clients.LastName     AS LastName,
       Clients.FirstName    AS FirstName,
       Clients.Initials     AS Initials,
       Clients.Salute       AS Salute,
       Clients.EnrollerAssNo AS EnrollerAssNo,
       Clients.Address1     AS Address1,
       Clients.Address2     AS Address2,
       Clients.Address3     AS Address3,
       Clients.PostalCode   AS PostalCode,
       Clients.TelWork      AS TelWork,
       Clients.TelHome      AS TelHome,
       Clients.Fax          AS Fax,
       Clients.Mobile       AS Mobile,
       Clients.EMail        AS EMail,
       Clients.Selected     AS Selected,
       Clients.Company      AS Company
FROM GroupLinking
INNER JOIN Groups  ON Groups.GroupID   = GroupLinking.GroupID
INNER JOIN Clients ON Clients.ClientID = GroupLinking.ClientID;

CREATE VIEW IF NOT EXISTS ListSMSandClients AS
SELECT SMSSend.SMSSendID AS SMSSendID,
       SMSSend.ClientID  AS ClientID,
       SMSSend.Number    AS Number,
       trim(coalesce(Clients.FirstName, '') || ' ' || coalesce(Clients.LastName, '')) AS ClientName,
       SMSSend.Message   AS Message,
       SMSSend.SendDate  AS SendDate,
       SMSSend.SendTime  AS SendTime,
       SMSSend.EventID   AS EventID,
       SMSSend.Send      AS Send,
       SMSSend.Delivered AS Delivered,
       SMSSend.SentID    AS SentID
FROM SMSSend
LEFT JOIN Clients ON Clients.ClientID = SMSSend.ClientID;

-- The sender is found through the message the reply answers; a reply from a
-- number the address book does not know shows that number.
CREATE VIEW IF NOT EXISTS RepliesWithClients AS
SELECT SMSReplies.SMSReplyID       AS SMSReplyID,
       SMSReplies.IncomingID       AS IncomingID,
       SMSReplies.PhoneNumber      AS PhoneNumber,
       SMSReplies.ReceivedDateTime AS ReceivedDateTime,
       coalesce(nullif(trim(coalesce(Clients.FirstName, '') || ' ' || coalesce(Clients.LastName, '')), ''),
                SMSReplies.PhoneNumber, '') AS FN,
       SMSReplies.Message          AS Message,
       SMSReplies.SentMessage      AS SentMessage,
       SMSReplies.SentDateTime     AS SentDateTime,
       SMSReplies.SMSSendID        AS SMSSendID,
       Clients.FirstName           AS FirstName,
       Clients.LastName            AS LastName
FROM SMSReplies
LEFT JOIN SMSSend ON SMSSend.SMSSendID = SMSReplies.SMSSendID
LEFT JOIN Clients ON Clients.ClientID  = SMSSend.ClientID;

-- Every reader takes the first Setup row; a database always has one.
INSERT INTO Setup (Username, Password, LastHighestTrn)
SELECT '', '', 0 WHERE NOT EXISTS (SELECT 1 FROM Setup);

-- Numbers that said STOP: never sent to while they are here. Number is as the
-- sender normalises it (0821234567).
CREATE TABLE IF NOT EXISTS OptOuts (
    Number     TEXT PRIMARY KEY,
    OptedOutAt TEXT NOT NULL,   -- UTC, ISO 8601
    Source     TEXT NOT NULL,   -- REPLY, IMPORT, MANUAL, INBOX
    Detail     TEXT             -- the reply (identifier and text), the file, a note
);

-- Every change of the opt-out list, never changed or deleted.
CREATE TABLE IF NOT EXISTS OptOutAudit (
    AuditID   INTEGER PRIMARY KEY AUTOINCREMENT,
    ChangedAt TEXT NOT NULL,    -- UTC, ISO 8601
    Number    TEXT NOT NULL,
    Action    TEXT NOT NULL,    -- ADDED, LIFTED
    Source    TEXT NOT NULL,
    Detail    TEXT
);
CREATE INDEX IF NOT EXISTS OptOutAudit_Number ON OptOutAudit (Number);

-- A reply that is exactly one of these words (cleaned: trimmed, without
-- punctuation, upper case) opts its number out, or lifts that when Lifts is 1.
CREATE TABLE IF NOT EXISTS OptOutWords (
    Word  TEXT PRIMARY KEY,
    Lifts INTEGER NOT NULL DEFAULT 0
);
INSERT INTO OptOutWords (Word, Lifts)
SELECT Word, Lifts FROM (
    SELECT 'STOP' AS Word, 0 AS Lifts UNION ALL SELECT 'STOPALL', 0 UNION ALL SELECT 'UNSUBSCRIBE', 0
    UNION ALL SELECT 'CANCEL', 0 UNION ALL SELECT 'END', 0 UNION ALL SELECT 'QUIT', 0
    UNION ALL SELECT 'OPTOUT', 0 UNION ALL SELECT 'REMOVE', 0
    UNION ALL SELECT 'START', 1 UNION ALL SELECT 'UNSTOP', 1) AS Words
WHERE NOT EXISTS (SELECT 1 FROM OptOutWords);

-- The office's changes to the public holidays the program counts (the
-- Public Holidays Act's days, and the Monday after one on a Sunday): a row
-- with IsHoliday 1 adds a day (an election day, a declared holiday), one with
-- IsHoliday 0 takes a counted day off. A day added on a Sunday makes the
-- Monday after it a holiday too.
CREATE TABLE IF NOT EXISTS PublicHolidays (
    HolidayDate TEXT PRIMARY KEY,   -- yyyy-MM-dd
    Name        TEXT,
    IsHoliday   INTEGER NOT NULL DEFAULT 1
);

-- Version 8: message templates, the same bodies sent again month after month
-- (a debit-order reminder, a meeting notice). Names are unique with blanks
-- around them removed and in any case, as group names are; the program checks
-- that in the transaction that writes the name.
CREATE TABLE IF NOT EXISTS Templates (
    TemplateID INTEGER PRIMARY KEY AUTOINCREMENT,
    Name       TEXT NOT NULL,
    Body1      TEXT NOT NULL DEFAULT '',
    Body2      TEXT NOT NULL DEFAULT '',
    Body3      TEXT NOT NULL DEFAULT '',
    Body4      TEXT NOT NULL DEFAULT '',
    Marketing  INTEGER NOT NULL DEFAULT 0,
    Created    TEXT NOT NULL,   -- UTC, ISO 8601
    Changed    TEXT NOT NULL    -- UTC, ISO 8601
);
