// The texts a scheduled job hands each scheduler, read back as the scheduler would read them: the task's XML
// with an XML reader, the timer's calendar with systemd's own tool where it is installed, the crontab line by sh.

#include "schedule/schedule.h"
#include "support/tempfolder.h"

#include <QString>
#include <QXmlStreamReader>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

namespace {

using namespace schedule;

Task task(Repeat repeat, std::string jobPath)
{
    Task made;
    made.name = "natt";
    made.schedule =
        repeat == Repeat::Once ? Schedule{Repeat::Once, 2026, 12, 24, 2, 5} : Schedule{repeat, 0, 0, 0, 2, 5};
    made.program = "C:\\Program Files\\Vendrel\\vendrel-run.exe";
    made.jobPath = std::move(jobPath);
    return made;
}

// Every element of the task's XML by its path ("Task/Principals/Principal/LogonType"), with its text; an
// element without text maps to "".
std::multimap<std::string, std::string> elements(const std::string& xml)
{
    std::multimap<std::string, std::string> found;
    QXmlStreamReader reader(QString::fromStdString(xml));
    std::vector<std::string> path;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            path.push_back(reader.name().toString().toStdString());
            std::string joined;
            for (const std::string& part : path)
                joined += (joined.empty() ? "" : "/") + part;
            if (path.size() == 1) {
                EXPECT_EQ(reader.namespaceUri().toString(),
                          QStringLiteral("http://schemas.microsoft.com/windows/2004/02/mit/task"));
            }
            found.emplace(joined, "");
        } else if (reader.isCharacters() && !reader.isWhitespace() && !path.empty()) {
            std::string joined;
            for (const std::string& part : path)
                joined += (joined.empty() ? "" : "/") + part;
            auto range = found.equal_range(joined);
            std::prev(range.second)->second += reader.text().toString().toStdString();
        } else if (reader.isEndElement()) {
            path.pop_back();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return found;
}

std::string one(const std::multimap<std::string, std::string>& found, const std::string& path)
{
    EXPECT_EQ(found.count(path), 1u) << path;
    const auto at = found.find(path);
    return at == found.end() ? std::string("<missing>") : at->second;
}

TEST(Schedule, ReadsTheThreeFormsAndRefusesTimesThatDoNotExist)
{
    for (const char* text : {"once 2026-12-24 02:00", "daily 02:00", "weekdays 23:59", "once 2028-02-29 00:00"}) {
        const auto read = parseSchedule(text);
        ASSERT_TRUE(read) << text << ": " << read.error();
        EXPECT_EQ(scheduleText(*read), text);
    }
    EXPECT_EQ(scheduleText(*parseSchedule("  daily   7:30 ")), "daily 07:30");

    const std::map<std::string, std::string> refused{
        {"daily 25:00", "25:00 finns inte"},
        {"daily 24:00", "24:00 finns inte"},
        {"weekdays 12:60", "12:60 finns inte"},
        {"once 2026-02-30 02:00", "2026-02-30 finns inte"},
        {"once 2027-02-29 02:00", "2027-02-29 finns inte"},
        {"once 2026-13-01 02:00", "2026-13-01 finns inte"},
        {"once 2026-1-1 02:00", "ÅÅÅÅ-MM-DD"},
        {"daily 2.00", "TT:MM"},
        {"daily -1:00", "TT:MM"},
        {"hourly 02:00", "\"hourly\" är ingen upprepning"},
        {"once 02:00", "ingen tidpunkt"},
        {"daily", "ingen tidpunkt"},
        {"", "tidpunkten saknas"},
    };
    for (const auto& [text, message] : refused) {
        const auto read = parseSchedule(text);
        ASSERT_FALSE(read) << text;
        EXPECT_NE(read.error().find(message), std::string::npos) << text << ": " << read.error();
    }

    const Schedule once{Repeat::Once, 2026, 12, 24, 2, 0};
    EXPECT_TRUE(stillAhead(once, {2026, 12, 24, 1, 59}));
    EXPECT_FALSE(stillAhead(once, {2026, 12, 24, 2, 0}));
    EXPECT_FALSE(stillAhead(once, {2027, 1, 1, 0, 0}));
    EXPECT_TRUE(stillAhead({Repeat::Daily, 0, 0, 0, 2, 0}, {2027, 1, 1, 3, 0}));
}

TEST(Schedule, NamesATaskAfterItsJobFile)
{
    EXPECT_EQ(nameForJob("C:\\Jobb\\Natt körning.vjob"), "Natt-korning");
    EXPECT_EQ(nameForJob("/hem/Åsa/Rensa & spara (ÖVRE) plan.VJOB"), "Rensa-spara-OVRE-plan");
    EXPECT_EQ(nameForJob("/jobb/日本.vjob"), "jobb");
    EXPECT_EQ(nameForJob("/jobb/a.b.vjob"), "a-b");
    EXPECT_EQ(nameForJob("/jobb/" + std::string(100, 'x') + ".vjob").size(), maxNameLength);
    EXPECT_TRUE(checkName(nameForJob("/jobb/ -- å ä ö -- .vjob")));

    EXPECT_TRUE(checkName("Natt_2-b"));
    for (const std::string& bad :
         std::vector<std::string>{"", "natt körning", "natt\\x", "a/b", "é", std::string(maxNameLength + 1, 'a')})
        EXPECT_FALSE(checkName(bad)) << bad;
}

TEST(Schedule, TaskXmlRunsTheJobAsTheLoggedOnUserInVendrelsFolder)
{
    Task daily = task(Repeat::Daily, "C:\\Jobb mapp\\å\\Natt & <dag> 100%.vjob");
    const auto found = elements(taskXml(daily, "KONTOR\\åsa", {2026, 12, 8, 13, 0}));
    EXPECT_EQ(one(found, "Task/RegistrationInfo/URI"), "\\Vendrel\\natt");
    EXPECT_EQ(one(found, "Task/RegistrationInfo/Description"),
              "Vendrel: daily 02:05 C:\\Jobb mapp\\å\\Natt & <dag> 100%.vjob");
    EXPECT_EQ(one(found, "Task/Principals/Principal/UserId"), "KONTOR\\åsa");
    EXPECT_EQ(one(found, "Task/Principals/Principal/LogonType"), "InteractiveToken");
    EXPECT_EQ(one(found, "Task/Principals/Principal/RunLevel"), "LeastPrivilege");
    EXPECT_EQ(one(found, "Task/Settings/StartWhenAvailable"), "false");
    EXPECT_EQ(one(found, "Task/Actions/Exec/Command"), daily.program);
    EXPECT_EQ(one(found, "Task/Actions/Exec/Arguments"), "--job \"C:\\Jobb mapp\\å\\Natt & <dag> 100%.vjob\"");
    EXPECT_EQ(one(found, "Task/Actions/Exec/WorkingDirectory"), "C:\\Jobb mapp\\å");
    EXPECT_EQ(one(found, "Task/Triggers/CalendarTrigger/StartBoundary"), "2026-12-08T02:05:00");
    EXPECT_EQ(one(found, "Task/Triggers/CalendarTrigger/ScheduleByDay/DaysInterval"), "1");
    EXPECT_EQ(found.count("Task/Triggers/TimeTrigger"), 0u);
    EXPECT_EQ(xmlElementText(taskXml(daily, "u", {}), "Description"), description(daily));

    const auto weekdays = elements(taskXml(task(Repeat::Weekdays, "C:\\j.vjob"), "u", {2026, 12, 8, 0, 0}));
    std::vector<std::string> days;
    for (const auto& [path, text] : weekdays) {
        constexpr std::string_view prefix = "Task/Triggers/CalendarTrigger/ScheduleByWeek/DaysOfWeek/";
        if (path.starts_with(prefix))
            days.push_back(path.substr(prefix.size()));
    }
    std::sort(days.begin(), days.end());
    EXPECT_EQ(days, (std::vector<std::string>{"Friday", "Monday", "Thursday", "Tuesday", "Wednesday"}));

    const auto once = elements(taskXml(task(Repeat::Once, "C:\\j.vjob"), "u", {2026, 12, 8, 0, 0}));
    EXPECT_EQ(one(once, "Task/Triggers/TimeTrigger/StartBoundary"), "2026-12-24T02:05:00");
    EXPECT_EQ(once.count("Task/Triggers/CalendarTrigger"), 0u);

    // A folder's trailing backslash before the closing quote would swallow it.
    EXPECT_EQ(taskArguments(task(Repeat::Daily, "\\\\server\\dela\\")), "--job \"\\\\server\\dela\\\\\"");
}

TEST(Schedule, TaskXmlFileIsUtf16WithItsMark)
{
    const std::string xml = taskXml(task(Repeat::Daily, "C:\\å\\\xF0\x9F\x98\x80.vjob"), "u", {2026, 1, 1, 0, 0});
    const std::string file = taskXmlFile(xml);
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");
    ASSERT_EQ(file.size() % 2, 0u);
    const QString back =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(file.data() + 2), qsizetype(file.size() / 2 - 1));
    EXPECT_EQ(back.toStdString(), xml);
    EXPECT_EQ(taskXmlFile("a\xFFz"), std::string("\xFF\xFE"
                                                 "a\0\xFD\xFFz\0",
                                                 8));
}

TEST(Schedule, TimerUnitsQuoteTheCommandBySystemdsRules)
{
    Task daily = task(Repeat::Daily, "/hem/åsa/Jobb \"mapp\"/100% $HOME\\x.vjob");
    daily.program = "/opt/vendrel/bin/vendrel-run";
    EXPECT_EQ(serviceUnit(daily),
              "[Unit]\nDescription=Vendrel: daily 02:05 /hem/åsa/Jobb \"mapp\"/100%% $HOME\\x.vjob\n\n"
              "[Service]\nType=oneshot\nExecStart=\"/opt/vendrel/bin/vendrel-run\" --job "
              "\"/hem/åsa/Jobb \\\"mapp\\\"/100%% $$HOME\\\\x.vjob\"\n");
    const std::string timer = timerUnit(daily);
    EXPECT_NE(timer.find("\nOnCalendar=*-*-* 02:05:00\nPersistent=false\nUnit=vendrel-natt.service\n"),
              std::string::npos);
    EXPECT_NE(timer.find("\n[Install]\nWantedBy=timers.target\n"), std::string::npos);
    EXPECT_EQ(onCalendar({Repeat::Weekdays, 0, 0, 0, 7, 0}), "Mon..Fri *-*-* 07:00:00");
    EXPECT_EQ(onCalendar({Repeat::Once, 2026, 12, 24, 2, 0}), "2026-12-24 02:00:00");

    // systemd's own reading, where it is installed: every calendar parses, the units verify.
    if (std::system("systemd-analyze --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "systemd-analyze is not installed: the units were not read by systemd";
    for (const Repeat repeat : {Repeat::Once, Repeat::Daily, Repeat::Weekdays}) {
        const std::string calendar = onCalendar(task(repeat, "/j").schedule);
        EXPECT_EQ(std::system(("systemd-analyze calendar '" + calendar + "' >/dev/null 2>&1").c_str()), 0) << calendar;
    }
    TempFolder dir;
    ASSERT_TRUE(dir.valid());
    daily.program = "/bin/true";
    writeFile(dir / "vendrel-natt.service", serviceUnit(daily));
    writeFile(dir / "vendrel-natt.timer", timerUnit(daily));
    EXPECT_EQ(std::system(("cd '" + dir.path() +
                           "' && systemd-analyze verify --man=no vendrel-natt.timer "
                           "vendrel-natt.service >out 2>&1")
                              .c_str()),
              0)
        << readFile(dir / "out");
}

TEST(Schedule, CrontabLineRunsTheJobThroughSh)
{
#ifdef _WIN32
    GTEST_SKIP() << "no sh here";
#endif
    TempFolder dir;
    ASSERT_TRUE(dir.valid());
    // A stand-in for vendrel-run in a folder whose name needs quoting; it writes its arguments one a line.
    Task weekdays = task(Repeat::Weekdays, dir / "Jobb 'mapp'/100% $(ls) å.vjob");
    weekdays.program = dir / "bin 'x' %/vendrel-run";
    writeFile(weekdays.program, "#!/bin/sh\nfor a; do echo \"$a\"; done > \"$(dirname \"$0\")/args\"\n", true);
    const std::string line = crontabLine(weekdays);
    ASSERT_EQ(line.substr(0, 11), "5 2 * * 1-5");
    // cron gives sh the rest of the line with each \% as %; a bare % would end the command.
    std::string command;
    for (std::size_t at = 12; at < line.size(); ++at) {
        ASSERT_FALSE(line[at] == '%' && line[at - 1] != '\\') << line;
        if (!(line[at] == '\\' && at + 1 < line.size() && line[at + 1] == '%'))
            command += line[at];
    }
    writeFile(dir / "command", command);
    ASSERT_EQ(std::system(("sh '" + dir / "command" + "'").c_str()), 0) << command;
    EXPECT_EQ(readFile(dir / "bin 'x' %/args"), "--job\n" + weekdays.jobPath + "\n");

    const std::string once = crontabLine(task(Repeat::Once, "/j.vjob"));
    EXPECT_EQ(once.substr(0, once.find(" && ")), "5 2 24 12 * [ \"$(date +\\%Y)\" = 2026 ]");

    Task broken = weekdays;
    broken.jobPath += "\n* * * * * rm -rf ~";
    EXPECT_FALSE(checkCommandPaths(broken));
    EXPECT_TRUE(checkCommandPaths(weekdays));
}

} // namespace
