#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

#include <cstdio>

namespace {

// One QApplication for the whole test binary (offscreen platform, see test_environment.cc),
// made on the main thread before the first test and kept to the end of the process.
class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* const application = new QApplication(argc, argv);
    (void)application;
    // The offscreen platform says for every window that it cannot raise it.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
      if (!text.startsWith("This plugin does not support")) {
        fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
      }
    });
  }
};

const auto* const kAppEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace
