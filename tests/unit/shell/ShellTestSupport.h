#pragma once
// Helpers shared by the shell's tests: the run log as "TRACE message" texts, and ordered checks.

#include <QString>
#include <QStringList>

namespace shelltest {

// "DEBUG Tiny Installer end", "ERROR Error: ...", "EVT {...json...}" for each record line.
QStringList recordsOf(const QStringList &logLines);

// Index of the first record at or after from that starts with prefix; -1 when none.
qsizetype indexOfRecord(const QStringList &records, const QString &prefix, qsizetype from = 0);

// Index of the first EVT record of the event (its "EVT" field), at or after from; -1 when none.
qsizetype indexOfEvent(const QStringList &records, const QString &eventName, qsizetype from = 0);

// How many records start with prefix.
qsizetype countRecords(const QStringList &records, const QString &prefix);

// Whether the records hold the expected prefixes in that order (other records may lie between);
// "EVT:<name>" stands for the record of that analytics event. On failure, why says which one was
// missing and lists the records.
bool containsInOrder(const QStringList &records, const QStringList &expectedPrefixes, QString *why);

}  // namespace shelltest
