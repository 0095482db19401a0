#pragma once

#include "export/GridSource.h"
#include "tests/support/QtPrinters.h"

#include <QByteArray>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

namespace exporttest {

inline exporter::GridData grid(QStringList captions, std::vector<QStringList> rows) {
    exporter::GridData g;
    g.captions = std::move(captions);
    g.rows = std::move(rows);
    return g;
}

// Runs one of the reader scripts beside this file with Debian's Python (which has
// xlrd) and returns the JSON it prints; an empty object after a failed expectation.
inline QJsonObject runReader(const QString& script, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(EXPORT_TEST_DIR "/") + script} + args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << script.toStdString() << " did not finish";
        return {};
    }
    const QByteArray out = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << script.toStdString()
                      << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(out, &error);
    if (!doc.isObject()) {
        ADD_FAILURE() << "unreadable output of " << script.toStdString() << ": "
                      << error.errorString().toStdString();
        return {};
    }
    return doc.object();
}

// Rows of strings as a reader returns them.
inline std::vector<QStringList> rowsOf(const QJsonValue& value) {
    std::vector<QStringList> rows;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& row : array) {
        QStringList cells;
        const QJsonArray r = row.toArray();
        for (const QJsonValue& c : r)
            cells.append(c.toString());
        rows.push_back(cells);
    }
    return rows;
}

// Compares row by row and reports the first few differences only, so a big grid's
// failure stays readable.
inline void expectSameRows(const std::vector<QStringList>& actual,
                           const std::vector<QStringList>& expected) {
    EXPECT_EQ(actual.size(), expected.size());
    int reported = 0;
    for (size_t r = 0; r < std::min(actual.size(), expected.size()) && reported < 5; ++r) {
        if (actual[r] != expected[r]) {
            ++reported;
            ADD_FAILURE() << "row " << r << ": got [" << actual[r].join(u'|').toStdString()
                          << "], expected [" << expected[r].join(u'|').toStdString() << "]";
        }
    }
}

// Accepts `limit` bytes, then fails every write, like a disc that fills up.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(qint64 limit) : m_limit(limit) { open(QIODevice::WriteOnly); }
    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (qint64(written.size()) + size > m_limit) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        written.append(data, size);
        return size;
    }

private:
    qint64 m_limit;
};

} // namespace exporttest
