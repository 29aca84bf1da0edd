// The main of the tests that need widgets: one QApplication for the whole run,
// made before any test, since Qt does not allow a second one.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ravelle2"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
