#pragma once
// The widget tests share one application (Qt allows one per process) and a scratch folder
// that stands for the program folder (FolderTest).

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QRegularExpression>

#include "support/FolderTest.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace halvern::test {

// Made by the first widget test, destroyed when the run ends (before the exit handlers,
// which would otherwise tear down Qt's own statics first).
struct AppEnvironment : ::testing::Environment {
    static QApplication& App() {
        static int argc = 1;
        static char name[] = "ui_tests", *argv[] = {name, nullptr};
        return app_ ? *app_ : *(app_ = new QApplication(argc, argv));
    }
    void TearDown() override { delete std::exchange(app_, nullptr); }
    static inline QApplication* app_ = nullptr;
};

inline constexpr auto App = &AppEnvironment::App;

// Pages of a PDF file (what a print to PDF produced); -1 when it cannot be read.
inline int PdfPages(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QString pdf = QString::fromLatin1(file.readAll());
    return static_cast<int>(pdf.count(QRegularExpression("/Type\\s*/Page(?!s)")));
}

class UiTest : public FolderTest {
  protected:
    void SetUp() override { App(), FolderTest::SetUp(); }
};

}  // namespace halvern::test
