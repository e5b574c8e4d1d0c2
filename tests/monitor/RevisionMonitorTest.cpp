// Licensed under the MIT licence; see LICENSE.
#include "RevisionMonitorSupport.h"

#include <thread>

namespace {

QString revisionOf(const QStringList& expressions, const QString& path)
{
    ksRevisionMonitor monitor;
    monitor.setExpressions(expressions);
    return monitor.getRevision(path);
}

QStringList sorted(const QStringList& revisions)
{
    return ksRevisionMonitor::sortRevision(revisions);
}

} // namespace

TEST(RevisionMonitorRevision, GroupsGiveTheRevisionInKeyOrder)
{
    EXPECT_EQ(revisionOf({}, "/p/door_v3.zmb"), "");
    EXPECT_EQ(revisionOf({"_v\\d+"}, "/p/door_v3.zmb"), "") << "no capture group";
    EXPECT_EQ(revisionOf({"_V(\\d+)"}, "/p/door_v3.zmb"), "3") << "case-insensitive";
    EXPECT_EQ(revisionOf({"_v(\\w+)\\."}, "/p/tür_vä1.zmb"), "ä1") << "Unicode properties";
    EXPECT_EQ(revisionOf({"_v(?<major>\\d+)\\.(?<minor>\\d+)"}, "/p/door_v2.7.zmb"), "27");
    EXPECT_EQ(revisionOf({"_v(?<minor>\\d+)\\.(?<major>\\d+)"}, "/p/door_v2.7.zmb"), "72");
    EXPECT_EQ(revisionOf({"_(\\w)(?<rev>\\d+)"}, "/p/door_a12"), "12a") << "named before unnamed";
    // Eleven unnamed groups: the keys |10 and |11 sort before |2.
    EXPECT_EQ(revisionOf({"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)"}, "abcdefghijk"), "ajkbcdefghi");
    // The first expression that matches decides; one that does not compile never does.
    EXPECT_EQ(revisionOf({"(", "_rev(\\d+)", "_v(\\d+)"}, "/p/door_v3.zmb"), "3");
    EXPECT_EQ(revisionOf({"_rev(\\d+)", "_v(\\d+)"}, "/p/door_rev4_v3.zmb"), "4");
}

TEST(RevisionMonitorRevision, WildcardPathReplacesEveryCapturedPart)
{
    ExposedRevisionMonitor monitor;
    EXPECT_EQ(monitor.getWildcardPath("/p/door_v12.zmb"), "/p/door_v12.zmb");

    const std::pair<const char*, const char*> cases[] = {
        {"/p/door_v12.zmb", "/p/door_v*.zmb"},
        {"/p/door_12.345.zmb", "/p/door_*.*.zmb"},
        {"/p/door_v.zmb", "/p/door_v*.zmb"},       // empty capture: '*' inserted
        {"/p/door_r4.zmb", "/p/door_r*.zmb"},      // group 1 took no part
        {"/base/proj_v2/door_v3.zmb", "/base/proj_v*/door_v3.zmb"}, // first match only
    };
    monitor.setExpressions({"(\\d+)\\.(\\d+)\\.zmb", "_v(\\d*)|_r(\\d+)"});
    for (const auto& c : cases)
        EXPECT_EQ(monitor.getWildcardPath(c.first), c.second) << c.first;
}

TEST(RevisionMonitorRevision, SortIsNumericOnlyForOneSharedPrefix)
{
    const std::pair<QStringList, QStringList> table[] = {
        {{}, {}},
        {{"r9", "r10", "r2"}, {"r2", "r9", "r10"}},
        {{"b", "a", "c"}, {"a", "b", "c"}},
        {{"r01", "r1"}, {"r1", "r01"}},
        {{"r2", "s10", "r10"}, {"r10", "r2", "s10"}},
        {{"10", "9", "100"}, {"9", "10", "100"}},
        {{"a+10", "a+9"}, {"a+9", "a+10"}},   // the prefix is taken literally
        {{"R10", "r9"}, {"R10", "r9"}},       // and case-sensitively
    };
    for (const auto& row : table)
        EXPECT_EQ(sorted(row.first), row.second) << row.first.join(',').toStdString();

    ksRevisionMonitor monitor;
    EXPECT_EQ(monitor.getNewestRevision({}), "");
    EXPECT_EQ(monitor.getNewestRevision({"r9", "r10", "r2"}), "r10");
}

TEST(RevisionMonitorRevision, CopyAndMoveCarryTheExpressions)
{
    ksRevisionMonitor original;
    original.setExpressions({"_v(\\d+)"});

    ksRevisionMonitor copy(original);
    original.setExpressions({"_r(\\d+)"});
    EXPECT_EQ(copy.getRevision("door_v3"), "3");
    EXPECT_EQ(original.getRevision("door_v3"), "");

    ksRevisionMonitor moved(std::move(copy));
    EXPECT_EQ(moved.getRevision("door_v3"), "3");
    EXPECT_EQ(copy.getRevision("door_v3"), ""); // NOLINT(bugprone-use-after-move)

    ksRevisionMonitor assigned;
    assigned = moved;
    ksRevisionMonitor& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.getRevision("door_v3"), "3");
    EXPECT_EQ(moved.getRevision("door_v3"), "3");

    ksRevisionMonitor target;
    target.setExpressions({"_r(\\d+)"});
    target = std::move(moved);
    EXPECT_EQ(target.getRevision("door_v3"), "3");
    EXPECT_EQ(target.getRevision("door_r4"), "");
    EXPECT_EQ(moved.getRevision("door_v3"), ""); // NOLINT(bugprone-use-after-move)
}

TEST_F(RevisionMonitorFixture, FindsNumberedSiblingsCaseInsensitively)
{
    const QString v1 = touch("door_v1.zmb");
    const QString v3 = touch("door_v3.zmb");
    const QString v12 = touch("door_v12.zmb");
    const QString v5 = touch("DOOR_V5.ZMB");
    touch("door_v2.txt");
    touch("window_v2.zmb");

    ksRevisionMonitor monitor;
    EXPECT_TRUE(monitor.findRevisions(v3).isEmpty()) << "no expressions, no revisions";

    monitor.setExpressions({"_v(\\d+)"});
    const QMap<QString, QString> expected{{"1", v1}, {"12", v12}, {"3", v3}, {"5", v5}};
    for (const QString& file : {v1, v3, v12, path("door_v7.zmb")})
        EXPECT_EQ(monitor.findRevisions(file), expected) << file.toStdString();
    EXPECT_EQ(monitor.findRevisions(v3).keys(), (QStringList{"1", "12", "3", "5"}));
    EXPECT_EQ(monitor.getNewestRevision(monitor.findRevisions(v3).keys()), "12");
}

TEST_F(RevisionMonitorFixture, WildcardsInDirectoriesListEveryLevel)
{
    const QString p1 = touch("base/proj_v1/door.zmb");
    const QString p2 = touch("base/proj_v2/door.zmb");
    QDir().mkpath(path("base/proj_v3"));
    touch("base/proj_v4");

    ExposedRevisionMonitor monitor;
    monitor.setExpressions({"_v(\\d+)"});
    EXPECT_EQ(monitor.findRevisions(p2), (QMap<QString, QString>{{"1", p1}, {"2", p2}}));

    const QString r11 = touch("tree/proj_v1/door_r1.zmb");
    const QString r12 = touch("tree/proj_v1/door_r2.zmb");
    const QString r21 = touch("tree/proj_v2/door_r1.zmb");
    monitor.setExpressions({"proj_v(\\d+)/door_r(\\d+)"});
    EXPECT_EQ(monitor.findRevisions(r21), (QMap<QString, QString>{{"11", r11}, {"12", r12}, {"21", r21}}));

    // Only '*' makes a component a pattern; the last literal one must exist.
    const QString question = touch("door?.zmb");
    touch("doorX.zmb");
    EXPECT_EQ(monitor.getWildcardFiles(question), QStringList{question});
    EXPECT_TRUE(monitor.getWildcardFiles(path("missing.zmb")).isEmpty());
}

TEST_F(RevisionMonitorFixture, RelativePathsResolveAgainstTheCurrentDirectory)
{
    const QString v1 = touch("door_v1.zmb");
    const QString v2 = touch("door_v2.zmb");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));

    ksRevisionMonitor monitor;
    monitor.setExpressions({"_v(\\d+)"});
    const QMap<QString, QString> found = monitor.findRevisions("door_v1.zmb");
    QDir::setCurrent(previous);
    EXPECT_EQ(found, (QMap<QString, QString>{{"1", v1}, {"2", v2}}));
}

TEST_F(RevisionMonitorFixture, CacheHoldsUntilClearedAndIsPerThread)
{
    const QString v1 = touch("door_v1.zmb");
    touch("door_v2.zmb");
    ksRevisionMonitor monitor;
    monitor.setExpressions({"_v(\\d+)"});
    ASSERT_EQ(monitor.findRevisions(v1).size(), 2);

    touch("door_v3.zmb");
    touch("window_v1.zmb");
    EXPECT_EQ(monitor.findRevisions(v1).size(), 2) << "same series, same listing";
    // The directory was read once for this series, for every pattern.
    EXPECT_TRUE(monitor.findRevisions(path("window_v1.zmb")).isEmpty());

    int seenElsewhere = 0;
    std::thread other([&] {
        ksRevisionMonitor own;
        own.setExpressions({"_v(\\d+)"});
        seenElsewhere = own.findRevisions(v1).size();
    });
    other.join();
    EXPECT_EQ(seenElsewhere, 3);
    EXPECT_EQ(monitor.findRevisions(v1).size(), 2) << "the other thread left this cache alone";

    ksRevisionMonitor::clearCache();
    EXPECT_EQ(monitor.findRevisions(v1).size(), 3);
    EXPECT_EQ(monitor.findRevisions(path("window_v1.zmb")).size(), 1);
}

TEST_F(RevisionMonitorFixture, SubclassesSupplyListings)
{
    struct Scripted : ksRevisionMonitor
    {
        QSet<QString> getDirEntries(const QString& dir, const QString& filter) override
        {
            calls.append(dir + '|' + filter);
            return {"door_v4.zmb", "door_v10.zmb", "readme.txt"};
        }
        QStringList calls;
    } scripted;
    scripted.setExpressions({"_v(\\d+)"});
    EXPECT_EQ(scripted.findRevisions("/virtual/door_v1.zmb"),
              (QMap<QString, QString>{{"10", "/virtual/door_v10.zmb"}, {"4", "/virtual/door_v4.zmb"}}));
    EXPECT_EQ(scripted.calls, QStringList{"/virtual|door_v*.zmb"});

    ExposedRevisionMonitor seeded;
    seeded.setExpressions({"_v(\\d+)"});
    seeded.setCache({{"/virtual/door_v*.zmb", {"door_v7.zmb", "door_v8.zmb"}}});
    EXPECT_EQ(seeded.findRevisions("/virtual/door_v1.zmb").keys(), (QStringList{"7", "8"}));

    bool otherThreadSees = true;
    std::thread other([&] { otherThreadSees = !seeded.getDirEntries("/virtual", "door_v*.zmb").isEmpty(); });
    other.join();
    EXPECT_FALSE(otherThreadSees);

    // A seeded cache also starts a new series: earlier directory reads are gone.
    const QString v1 = touch("door_v1.zmb");
    EXPECT_EQ(seeded.findRevisions(v1).size(), 1);
    touch("door_v2.zmb");
    seeded.setCache({});
    EXPECT_EQ(seeded.findRevisions(v1).size(), 2);
    ksRevisionMonitor::clearCache();
    EXPECT_TRUE(seeded.findRevisions("/virtual/door_v1.zmb").isEmpty());
}
