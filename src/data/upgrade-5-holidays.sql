-- Version 5: the program counts the Public Holidays Act's days itself, and
-- PublicHolidays holds only the office's changes to them. Older databases were
-- filled with the Act's days of 2026 and 2027: a row still there is counted
-- anyway and goes; one the office had deleted becomes a row that takes that
-- day off, so that it stays no holiday. Every other row is a day added.
CREATE TEMPORARY TABLE SeededHolidays (HolidayDate TEXT PRIMARY KEY, Name TEXT);
INSERT INTO SeededHolidays (HolidayDate, Name) VALUES
    ('2026-01-01', 'New Year''s Day'), ('2026-03-21', 'Human Rights Day'), ('2026-04-03', 'Good Friday'),
    ('2026-04-06', 'Family Day'), ('2026-04-27', 'Freedom Day'), ('2026-05-01', 'Workers'' Day'),
    ('2026-06-16', 'Youth Day'), ('2026-08-09', 'National Women''s Day'), ('2026-09-24', 'Heritage Day'),
    ('2026-12-16', 'Day of Reconciliation'), ('2026-12-25', 'Christmas Day'), ('2026-12-26', 'Day of Goodwill'),
    ('2027-01-01', 'New Year''s Day'), ('2027-03-21', 'Human Rights Day'), ('2027-03-26', 'Good Friday'),
    ('2027-03-29', 'Family Day'), ('2027-04-27', 'Freedom Day'), ('2027-05-01', 'Workers'' Day'),
    ('2027-06-16', 'Youth Day'), ('2027-08-09', 'National Women''s Day'), ('2027-09-24', 'Heritage Day'),
    ('2027-12-16', 'Day of Reconciliation'), ('2027-12-25', 'Christmas Day'), ('2027-12-26', 'Day of Goodwill');
INSERT INTO PublicHolidays (HolidayDate, Name, IsHoliday)
SELECT HolidayDate, Name, 0 FROM SeededHolidays
WHERE HolidayDate NOT IN (SELECT HolidayDate FROM PublicHolidays);
DELETE FROM PublicHolidays WHERE IsHoliday = 1 AND HolidayDate IN (SELECT HolidayDate FROM SeededHolidays);
DROP TABLE SeededHolidays;
