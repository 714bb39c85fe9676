// One QApplication for every test of a binary, on the offscreen platform
// unless the caller chose another.

#include <gtest/gtest.h>
#include <sched.h>

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
            QApplication::setStyle(style);
        QFont font = QApplication::font();
        font.setPointSize(9);
        QApplication::setFont(font);
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "quorvex-ui-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
