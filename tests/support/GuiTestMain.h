#pragma once

// main() of a window test program: a private home for settings and temporary files,
// the offscreen platform, the headless engine settings, and one QApplication for all
// cases. Window tests browse the in-process fake engine, end-to-end tests the real one.
#include "tests/support/FakeBrowserEngine.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

enum class TestEngine { Fake, Real };

inline int runGuiTests(int argc, char** argv, TestEngine engine = TestEngine::Fake) {
    testing::InitGoogleTest(&argc, argv);
    static QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--disable-gpu --disable-background-networking --disable-component-update "
            "--no-first-run --proxy-server=127.0.0.1:9");
    if (engine == TestEngine::Fake)
        platform::FakeBrowserEngine::install();
    else
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
