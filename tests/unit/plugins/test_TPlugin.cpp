#include "IPlugins.h"
#include "PrintQt.h"
#include "TemplateSession.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <dlfcn.h>

namespace {

QStringList gEvents;

QString fixture(const char* name) {
    return QStringLiteral(PLUGINS_FIXTURES_DIR "/") + QString::fromUtf8(name);
}

// True while the library at path is mapped into the process.
bool isLoaded(const QString& path) {
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!h)
        return false;
    dlclose(h);
    return true;
}

} // namespace

// Called by the fixture templates.
extern "C" __attribute__((visibility("default"))) void trawlex_fixture_event(const char* what) {
    gEvents.append(QString::fromUtf8(what));
}

namespace {

class TPluginTest : public ::testing::Test {
protected:
    void SetUp() override { gEvents.clear(); }
};

struct FailingLoad {
    const char* file;
    PluginErrorCode code;
    const char* message;
};

class TPluginFailingLoad : public TPluginTest, public ::testing::WithParamInterface<FailingLoad> {};

TEST_P(TPluginFailingLoad, GivesNoObjectAndLeavesNothingLoaded) {
    const FailingLoad& c = GetParam();
    const QString path = fixture(c.file);
    PluginLoad load = TPlugin::Create(path);
    EXPECT_FALSE(load);
    EXPECT_EQ(load.plugin, nullptr);
    EXPECT_EQ(load.error.code, c.code);
    EXPECT_EQ(load.error.message, QString::fromUtf8(c.message));
    EXPECT_FALSE(isLoaded(path));
    EXPECT_FALSE(gEvents.contains(QStringLiteral("destroy")));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, TPluginFailingLoad,
    ::testing::Values(
        FailingLoad{"not_a_library.orp", PluginErrorCode::LoadFailed, "Impossible to load DLL"},
        FailingLoad{"missing_file.orp", PluginErrorCode::LoadFailed, "Impossible to load DLL"},
        FailingLoad{"", PluginErrorCode::LoadFailed, "Impossible to load DLL"},
        FailingLoad{"no_create_plugin.orp", PluginErrorCode::NoEntryPoint, "Invalid OrvoPage!"},
        FailingLoad{"create_fails.orp", PluginErrorCode::CreateFailed, "Invalid OrvoPage!"},
        FailingLoad{"create_throws.orp", PluginErrorCode::CreateFailed, "Invalid OrvoPage!"}));

TEST_F(TPluginTest, LoadsATemplateAndCallsItThroughInstance) {
    PluginLoad load = TPlugin::Create(fixture("columns_5.orp"));
    ASSERT_TRUE(load) << load.error.detail.toStdString();
    IPlugin* p = load.plugin->Instance();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(FromTemplateText(p->GetName()), u"FIXTURE");
    EXPECT_EQ(p->GetColumnCount(), 5);
    EXPECT_EQ(FromTemplateText(p->GetColumnNames()), u"Name|Street|Town|Phone|E-mail");
    EXPECT_EQ(load.plugin->FileName(), fixture("columns_5.orp"));
    EXPECT_EQ(gEvents, QStringList{QStringLiteral("create 1")});
}

TEST_F(TPluginTest, DestroyReleasesTheInterfaceWhileTheLibraryIsStillLoaded) {
    const QString path = fixture("basic.orp");
    PluginLoad load = TPlugin::Create(path);
    ASSERT_TRUE(load);
    EXPECT_TRUE(isLoaded(path));
    load.plugin.reset();
    // The template's destructor ran (its code was still mapped), then the library went.
    EXPECT_EQ(gEvents, (QStringList{QStringLiteral("create 1"), QStringLiteral("destroy")}));
    EXPECT_FALSE(isLoaded(path));
}

TEST_F(TPluginTest, LoadingTheSameFileAgainReleasesFirstAndStartsWithFreshState) {
    const QString path = fixture("basic.orp");
    std::shared_ptr<TPlugin> current;
    ASSERT_EQ(ReplaceTemplate(current, path).code, PluginErrorCode::None);
    ASSERT_EQ(ReplaceTemplate(current, path).code, PluginErrorCode::None);
    ASSERT_NE(current, nullptr);
    // "create 1" twice: the library image was unloaded in between, its counter reset.
    EXPECT_EQ(gEvents, (QStringList{QStringLiteral("create 1"), QStringLiteral("destroy"),
                                    QStringLiteral("create 1")}));
    current.reset();
    EXPECT_FALSE(isLoaded(path));
}

TEST_F(TPluginTest, AFailedReplacementLeavesNoCurrentTemplate) {
    std::shared_ptr<TPlugin> current;
    ASSERT_EQ(ReplaceTemplate(current, fixture("basic.orp")).code, PluginErrorCode::None);
    const PluginError error = ReplaceTemplate(current, fixture("not_a_library.orp"));
    EXPECT_EQ(error.code, PluginErrorCode::LoadFailed);
    EXPECT_EQ(current, nullptr);
    EXPECT_EQ(gEvents, (QStringList{QStringLiteral("create 1"), QStringLiteral("destroy")}));
    EXPECT_FALSE(isLoaded(fixture("basic.orp")));
}

TEST_F(TPluginTest, ATemplateReplacedDuringOneOfItsCallsLivesUntilTheCallReturns) {
    const QString first = fixture("basic.orp");
    std::shared_ptr<TPlugin> current;
    ASSERT_EQ(ReplaceTemplate(current, first).code, PluginErrorCode::None);
    std::shared_ptr<TPlugin> inCall = current; // a command waiting inside GetData
    ASSERT_EQ(ReplaceTemplate(current, fixture("columns_5.orp")).code, PluginErrorCode::None);
    EXPECT_TRUE(isLoaded(first));
    EXPECT_FALSE(gEvents.contains(QStringLiteral("destroy")));
    inCall.reset();
    EXPECT_EQ(gEvents.count(QStringLiteral("destroy")), 1);
    EXPECT_FALSE(isLoaded(first));
    EXPECT_EQ(current->FileName(), fixture("columns_5.orp"));
}

TEST_F(TPluginTest, BareFileNameIsTakenFromTheProgramFolderNotTheLibraryPath) {
    PluginLoad fromProgram = TPlugin::Create(QStringLiteral("basic.orp"), PLUGINS_FIXTURES_DIR);
    ASSERT_TRUE(fromProgram);
    EXPECT_EQ(QDir::cleanPath(fromProgram.plugin->FileName()), fixture("basic.orp"));

    // A system library's bare name must not be found on the library search path.
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    PluginLoad system = TPlugin::Create(QStringLiteral("libc.so.6"), empty.path());
    EXPECT_FALSE(system);
    EXPECT_EQ(system.error.code, PluginErrorCode::LoadFailed);
}

TEST(FromTemplateText, GuardsNullAndBoundsLength) {
    EXPECT_TRUE(FromTemplateText(nullptr).isEmpty());
    EXPECT_TRUE(FromTemplateText(u"").isEmpty());
    EXPECT_EQ(FromTemplateText(u"Name|Street"), u"Name|Street");

    // Not terminated within the bound: cut there, nothing read beyond it.
    const char16_t unterminated[4] = {u'a', u'b', u'c', u'd'};
    EXPECT_EQ(FromTemplateText(unterminated, 3), u"abc");
    EXPECT_TRUE(FromTemplateText(u"abc", 0).isEmpty());

    // A lone surrogate is kept, not dropped or replaced.
    const char16_t lone[] = {u'x', 0xD800, u'y', 0};
    const QString s = FromTemplateText(lone);
    ASSERT_EQ(s.size(), 3);
    EXPECT_EQ(s.at(1).unicode(), 0xD800);
}

QStringList lifecycle() {
    QStringList l;
    for (const QString& e : gEvents)
        if (e.startsWith(QStringLiteral("create")) || e == u"destroy")
            l.append(e);
    return l;
}

struct Refused {
    const char* file;
    const char* json; // written into a folder of the test; null: a built fixture
    const char* problem;
};

void PrintTo(const Refused& r, std::ostream* os) {
    *os << r.file;
}

class TemplateSessionRefusal : public TPluginTest, public ::testing::WithParamInterface<Refused> {};

TEST_P(TemplateSessionRefusal, NamesTheFileAndTheProblemAndKeepsTheCurrentTemplate) {
    const Refused& r = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString path = fixture(r.file);
    if (r.json) {
        path = dir.filePath(QString::fromUtf8(r.file));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(r.json);
    }
    TemplateSession session;
    ASSERT_FALSE(session.load(fixture("basic.orp")));
    const std::shared_ptr<TPlugin> before = session.current();
    gEvents.clear();

    const auto refusal = session.load(path);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->problem,
              QString::fromUtf8(r.file) + QStringLiteral(": ") + QString::fromUtf8(r.problem));
    EXPECT_EQ(session.current(), before);
    // The current template was neither released nor touched.
    EXPECT_TRUE(isLoaded(fixture("basic.orp")));
    EXPECT_EQ(before->Instance()->GetColumnCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TemplateSessionRefusal,
    ::testing::Values(
        Refused{"no_create_plugin.orp", nullptr, "not a template library: it has no CreatePlugin"},
        Refused{"create_fails.orp", nullptr, "the template failed to start"},
        Refused{"create_throws.orp", nullptr, "the template failed to start"},
        Refused{"columns_0.orp", nullptr, "the template has no columns (0)"},
        Refused{"columns_minus_1.orp", nullptr, "the template has no columns (-1)"},
        Refused{"us_json.orp.json", "{\"trawlex\": 1,", "line 1, column 15: unterminated object"},
        Refused{"us_key.orp.json", R"({"trawlex": 1, "name": "T", "records": "li", "colums": []})",
                "colums: unknown key"},
        Refused{"us_selector.orp.json",
                R"({"trawlex": 1, "name": "T", "records": "li",
                    "columns": [{"name": "A"}, {"name": "B", "select": "a:foo"}]})",
                "columns[1].select: unknown pseudo-class ':foo'"}));

TEST_F(TPluginTest, TemplateSessionLoadsTheNewTemplateBeforeReleasingTheCurrent) {
    TemplateSession session;
    EXPECT_FALSE(session);
    ASSERT_FALSE(session.load(fixture("basic.orp")));
    ASSERT_FALSE(session.load(fixture("columns_3.orp")));
    EXPECT_EQ(lifecycle(), (QStringList{QStringLiteral("create 1"), QStringLiteral("create 1"),
                                        QStringLiteral("destroy")}));
    EXPECT_EQ(session.current()->Instance()->GetColumnCount(), 3);
    EXPECT_TRUE(isLoaded(fixture("columns_3.orp")));
    EXPECT_FALSE(isLoaded(fixture("basic.orp")));
}

TEST_F(TPluginTest, TemplateSessionReloadsTheSameLibraryFromFreshState) {
    TemplateSession session;
    ASSERT_FALSE(session.load(fixture("basic.orp")));
    // By a bare name from the program folder as well as by its path.
    ASSERT_FALSE(session.load(QStringLiteral("basic.orp"), PLUGINS_FIXTURES_DIR));
    // "create 1" again: the library was unloaded in between.
    EXPECT_EQ(lifecycle(), (QStringList{QStringLiteral("create 1"), QStringLiteral("destroy"),
                                        QStringLiteral("create 1")}));
    session.release();
    EXPECT_FALSE(session);
    EXPECT_FALSE(isLoaded(fixture("basic.orp")));
}

TEST_F(TPluginTest, TemplateSessionGuardedCallsTurnFailuresIntoNothing) {
    TemplateSession session;
    EXPECT_FALSE(session.guarded("GetColumnCount", [](IPlugin* p) { return p->GetColumnCount(); }));
    ASSERT_FALSE(session.load(fixture("data_throws.orp")));
    EXPECT_EQ(session.guarded("GetData",
                              [](IPlugin* p) { return FromTemplateText(p->GetData(nullptr)); }),
              std::nullopt);
    EXPECT_EQ(session.guarded("GetColumnCount", [](IPlugin* p) { return p->GetColumnCount(); }),
              std::optional<std::int32_t>(3));
}

} // namespace
