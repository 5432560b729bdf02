// One main for every test executable: a QCoreApplication (no display) so that Qt's event
// loops, timers and networking work inside the tests.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("LANG", "C.UTF-8");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", "/tmp");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
