#pragma once

// Running kestrix-cli inside the test process and reading its JSON.
#include "cli_runner.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace kestrix::test_support {

struct CliResult {
    CliStatus status;
    std::string out;
    std::string err;
};

// Runs kestrix-cli with arguments (without the program name), as text encoded
// as file names.
inline CliResult RunCliWith(const QStringList& arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> bytes{"kestrix-cli"};
    for (const QString& argument : arguments)
        bytes.push_back(QFile::encodeName(argument).toStdString());
    const CliStatus status = RunCli(bytes, out, err);
    return {status, out.str(), err.str()};
}

// Runs kestrix-cli with arguments (without the program name), as bytes.
inline CliResult RunCliWithBytes(const std::vector<std::string>& arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> all{"kestrix-cli"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const CliStatus status = RunCli(all, out, err);
    return {status, out.str(), err.str()};
}

// The digest of bytes as lowercase hexadecimal digits, by Qt's own code, to
// hold the program's digests against.
inline std::string Digest(QByteArrayView bytes, QCryptographicHash::Algorithm algorithm = QCryptographicHash::Sha256)
{
    return QCryptographicHash::hash(bytes, algorithm).toHex().toStdString();
}

// The digest of the file at path.
inline std::string FileDigest(const QString& path, QCryptographicHash::Algorithm algorithm)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return Digest(file.readAll(), algorithm);
}

// One line of JSON text as an object; a parse error fails the test.
inline QJsonObject JsonObject(const std::string& line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    return document.object();
}

// The whole output as one JSON object: exactly one line, ended by a line break.
inline QJsonObject Json(const std::string& text)
{
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "exactly one line";
    return JsonObject(text);
}

}  // namespace kestrix::test_support
