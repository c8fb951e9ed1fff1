// main() for the decoder's tests: a QCoreApplication only, as in the
// command-line tool, so no platform plug-in and no display is ever loaded.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
