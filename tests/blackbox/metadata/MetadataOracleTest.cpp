// Every copy method mirrors every kind of Linux metadata: owners, modes with
// set-ID and sticky bits, ACLs (default ones too), extended attributes of every
// namespace root may write, file capabilities, sparse files, link owners and
// times, folder modes and times. rsync, which knows all of these, judges the
// result. Set-ID bits never outlive the owner they were given for.

#include "tests/blackbox/metadata/MetadataSupport.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

class MetadataOracleTest : public RootCliTest
{
protected:
    void SetUp() override
    {
        RootCliTest::SetUp();
        if (IsSkipped())
            return;
        for (const char* tool : {"rsync", "setfacl", "setfattr"}) {
            if (!HaveProgram(tool))
                GTEST_SKIP() << tool << " is not installed (packages rsync, acl, attr)";
        }
    }

    // The Source: one entry for each kind of metadata. Times are set last, deepest
    // folders first, since every change inside a folder moves its time.
    void buildSource()
    {
        const ShellResult r = Shell("set -e; cd " + shellQuoted(src()) + R"(
mkdir -p nested/one/two/three
printf 'deep\n' > nested/one/two/three/leaf.txt
printf 'nobody\n' > owned-nobody.txt; chown 65534:65534 owned-nobody.txt
printf 'other\n' > owned-other.txt; chown 12345:54321 owned-other.txt; chmod 0640 owned-other.txt
printf '#!/bin/sh\n' > setid; chown 65534:65534 setid; chmod 6755 setid
for m in 0600 0640 0444 0755; do printf '%s\n' "$m" > "mode-$m"; chmod "$m" "mode-$m"; done
printf 'x\n' > xattrs.txt
setfattr -n user.note -v hello xattrs.txt
setfattr -n trusted.kestrow -v secret xattrs.txt
printf 'acl\n' > acl.txt; setfacl -m u:12345:rw,g:54321:r acl.txt
mkdir acl-dir
setfacl -m u:12345:rwx acl-dir
setfacl -d -m u:12345:rwx,g:54321:rx acl-dir
printf 'in\n' > acl-dir/inherited.txt
mkdir acl-dir/sub
truncate -s 64M sparse.bin
printf 'middle' | dd of=sparse.bin bs=1 seek=33554432 conv=notrunc status=none
mkdir private sticky setgid
printf 'p\n' > private/p.txt; chown 12345:54321 private/p.txt
printf 's\n' > sticky/s.txt; chown 65534:65534 sticky/s.txt
printf 'g\n' > setgid/g.txt
chown 12345:54321 private setgid; chown 65534:65534 sticky
chmod 0700 private; chmod 1777 sticky; chmod 2775 setgid
ln -s owned-other.txt link-other; chown -h 12345:54321 link-other
ln -s nested/one link-folder; chown -h 65534:65534 link-folder
ln -s no-such-entry dangling
touch -d '2003-04-05 06:07:08.123456789' owned-other.txt mode-0444 sparse.bin
touch -h -d '2004-05-06 07:08:09.5' link-other link-folder dangling
touch -d '2001-02-03 04:05:06.25' nested/one/two/three nested/one/two nested/one nested
touch -d '2002-03-04 05:06:07' private sticky setgid acl-dir/sub acl-dir
)");
        ASSERT_EQ(r.status, 0) << r.out;
    }

    // A first mirror into the empty Target; fails the test when the run failed.
    void mirror()
    {
        const CliResult r = Clone();
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    }
};

TEST_P(MetadataOracleTest, AMirrorIntoAnEmptyTargetKeepsEveryKindOfMetadata)
{
    buildSource();
    const CliResult r = Clone();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(RsyncDifferences(src(), tgt()), "") << "what the " << method() << " copy missed:\n" << r.out;

    // The sparse file's holes stay holes.
    const struct stat sparse = StatOf(tgt() + "sparse.bin");
    EXPECT_EQ(sparse.st_size, 64 << 20);
    EXPECT_LT(sparse.st_blocks * 512, sparse.st_size / 8)
        << "allocated " << sparse.st_blocks * 512 << " bytes";
}

TEST_P(MetadataOracleTest, AFileCapabilityIsKept)
{
    if (!HaveProgram("setcap") || !HaveProgram("getcap"))
        GTEST_SKIP() << "setcap and getcap are not installed (package libcap2-bin)";
    const ShellResult made = Shell("cd " + shellQuoted(src()) +
                                   " && cp /bin/true cap-tool && PATH=\"$PATH:/usr/sbin:/sbin\" setcap "
                                   "cap_net_raw+ep cap-tool");
    if (made.status != 0)
        GTEST_SKIP() << "this file system or container takes no file capability: " << made.out;

    const CliResult r = Clone();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(RsyncDifferences(src(), tgt()), "") << r.out;
    const ShellResult cap = Shell("PATH=\"$PATH:/usr/sbin:/sbin\" getcap " + shellQuoted(tgt() + "cap-tool"));
    EXPECT_NE(cap.out.find("cap_net_raw=ep"), std::string::npos) << cap.out;
}

// Metadata changed on the Source alone is put on the Target's entries as they
// are: the file is not copied again. Attributes and ACLs the Source lost go from
// the Target too.
TEST_P(MetadataOracleTest, MetadataOnlyChangesAreAppliedWithoutCopyingTheData)
{
    buildSource();
    mirror();
    const ino_t fileInode = StatOf(tgt() + "owned-other.txt").st_ino;
    const ino_t folderInode = StatOf(tgt() + "private").st_ino;
    ASSERT_NE(fileInode, 0u);
    ASSERT_NE(folderInode, 0u);

    const ShellResult changed = Shell("set -e; cd " + shellQuoted(src()) + R"(
chmod 0604 owned-other.txt
chown 65534:54321 owned-other.txt
setfattr -n user.changed -v yes owned-other.txt
setfacl -m u:65534:r owned-other.txt
chmod 0750 private
chown 65534:65534 private
setfattr -n user.changed -v folder private
setfacl -m u:12345:rx private
touch -m -d '2005-06-07 08:09:10.75' private nested/one
setfattr -x user.note xattrs.txt
setfacl -b acl.txt
setfacl -k acl-dir
)");
    ASSERT_EQ(changed.status, 0) << changed.out;

    const CliResult r = Clone();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(RsyncDifferences(src(), tgt()), "") << r.out;
    EXPECT_EQ(LinesWith(r.out, {"Updated attributes: owned-other.txt", tgt()}).size(), 1u) << r.out;
    EXPECT_TRUE(LinesWith(r.out, {"Copied: owned-other.txt"}).empty()) << r.out;
    EXPECT_EQ(StatOf(tgt() + "owned-other.txt").st_ino, fileInode) << "the file was replaced\n" << r.out;
    EXPECT_EQ(StatOf(tgt() + "private").st_ino, folderInode) << "the folder was replaced\n" << r.out;
}

// Root may give a link extended attributes of its own (trusted.*, security.*).
TEST_P(MetadataOracleTest, ALinksOwnExtendedAttributesAreKept)
{
    const ShellResult made =
        Shell("cd " + shellQuoted(src()) +
              " && printf 'f\\n' > f && ln -s f link && setfattr -h -n trusted.kestrow -v one link");
    if (made.status != 0)
        GTEST_SKIP() << "this file system takes no extended attribute on a link: " << made.out;

    const CliResult first = Clone();
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_EQ(RsyncDifferences(src(), tgt()), "") << first.out;

    const ShellResult changed = Shell("setfattr -h -n trusted.kestrow -v two " + shellQuoted(src() + "link"));
    ASSERT_EQ(changed.status, 0) << changed.out;
    const CliResult second = Clone();
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(RsyncDifferences(src(), tgt()), "") << second.out;
}

TEST_P(MetadataOracleTest, AnUnchangedTreePlansNothing)
{
    buildSource();
    mirror();

    const CliResult planned = Clone({"--dry-run"});
    EXPECT_EQ(planned.exitCode, 0) << planned.out << planned.err;
    EXPECT_EQ(LinesWith(planned.out, {"Planned for " + tgt() + ": 0 operations"}).size(), 1u) << planned.out;
    // Each planned operation is an indented line of its own.
    EXPECT_TRUE(LinesWith(planned.out, {"     "}).empty()) << planned.out;

    const CliResult again = Clone();
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    // Only the run's begin and end lines: no entry (" - Copied: ", " - Updated attributes: ", ...).
    EXPECT_TRUE(LinesWith(again.out, {" - "}).empty()) << again.out;
    EXPECT_EQ(RsyncDifferences(src(), tgt()), "") << again.out;
}

INSTANTIATE_TEST_SUITE_P(Copy, MetadataOracleTest, ::testing::ValuesIn(kCopyMethods),
                         [](const auto& info) { return info.param; });

using SetIdTest = RootCliTest;

// Run by root, owners are kept, so the set-ID bits stay with them.
TEST_P(SetIdTest, SetIdBitsStayWhenTheOwnerIsKept)
{
    file("src/setid", "#!/bin/sh\n");
    const ShellResult made =
        Shell("cd " + shellQuoted(src()) + " && chown 65534:65534 setid && chmod 6755 setid");
    ASSERT_EQ(made.status, 0) << made.out;

    const CliResult r = Clone();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const struct stat st = StatOf(tgt() + "setid");
    EXPECT_EQ(read(tgt() + "setid"), "#!/bin/sh\n");
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 06755u) << std::oct << (st.st_mode & 07777) << "\n" << r.out;
}

// Run by another user, the copy is that user's own file: set-ID bits on it would
// hand that user's rights to whoever runs it.
TEST_P(SetIdTest, ANonRootRunGivesItsOwnCopyNoSetIdBits)
{
    if (!fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "setpriv (util-linux) is not installed";
    file("src/setid", "#!/bin/sh\n");
    const ShellResult made = Shell("chown -R 65534:65534 " + shellQuoted(tmp.path()) + " && cd " +
                                   shellQuoted(src()) + " && chown 12345:54321 setid && chmod 6755 setid");
    ASSERT_EQ(made.status, 0) << made.out;

    const CliResult r =
        RunCliAsNobody({"clone", src(), tgt(), "-q", "--copy", method(), "--delete", "regular"});
    ASSERT_NE(r.exitCode, 127) << "nobody cannot run " << CliPath() << ": " << r.err;
    // An owner this user cannot give is a loss to report, not an error.
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(read(tgt() + "setid"), "#!/bin/sh\n") << r.out << r.err;
    const struct stat st = StatOf(tgt() + "setid");
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 06000, 0u) << std::oct << (st.st_mode & 07777) << "\n" << r.out;
    EXPECT_EQ(st.st_mode & 0777, 0755u) << std::oct << (st.st_mode & 07777) << "\n" << r.out;

    // What cannot be kept is not tried again on every run.
    const CliResult again =
        RunCliAsNobody({"clone", src(), tgt(), "-q", "--copy", method(), "--delete", "regular", "--dry-run"});
    EXPECT_EQ(LinesWith(again.out, {"Planned for " + tgt() + ": 0 operations"}).size(), 1u) << again.out;
}

INSTANTIATE_TEST_SUITE_P(Copy, SetIdTest, ::testing::ValuesIn(kCopyMethods),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace kestrow::test
