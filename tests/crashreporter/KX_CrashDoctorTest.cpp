#include "crashreporter/support/KX_CrashDoctor.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace kestrix;

namespace {

struct DiagnosisRow
{
    const char *name;
    const char *report;
    const char *diagnosis; // null for none
};

std::ostream &operator<<(std::ostream &out, const DiagnosisRow &row)
{
    return out << row.name;
}

const DiagnosisRow DiagnosisRows[] = {
    {"stack_overflow",
     R"({"report":{"process_name":"app"},"crash":{"error":{"address":0,"signal":{"name":"SIGSEGV"}},
        "threads":[{"crashed":false},{"crashed":true,"stack":{"overflow":true},"backtrace":{"contents":[
        {"object_name":"libc.so.6","symbol_name":"memcpy"},{"object_name":"app","symbol_name":"recurse"}]}}]}})",
     "Stack overflow in recurse"},
    {"null_pointer",
     R"({"report":{"process_name":"app"},"crash":{"error":{"address":0,"signal":{"name":"SIGSEGV"}},
        "threads":[{"crashed":true,"stack":{"overflow":false}}]}})",
     "Attempted to dereference null pointer."},
    {"garbage_pointer",
     R"({"report":{"process_name":"app"},"crash":{"error":{"address":4660,"signal":{"name":"SIGSEGV"}},
        "threads":[{"crashed":true}]}})",
     "Attempted to dereference garbage pointer 0x1234."},
    {"division",
     R"({"report":{"process_name":"app"},"crash":{"error":{"signal":{"name":"SIGFPE"}},"threads":[{"crashed":true}]}})",
     "Math error (usually caused from division by 0)."},
    {"corrupted_memory",
     R"({"crash":{"error":{"signal":{"name":"SIGSEGV"}},"crashed_thread":{"backtrace":{"contents":[
        {"symbol_name":"szone_malloc_should_clear"}]}}}})",
     "Rogue memory write has corrupted memory."},
    {"sent_fault_names_its_sender",
     R"({"crash":{"error":{"address":0,"signal":{"name":"SIGSEGV","code_name":"SI_USER","sender_pid":4242}},
        "threads":[{"crashed":true}]}})",
     "Signal SIGSEGV was sent by process 4242."},
    {"abort_has_none", R"({"crash":{"error":{"signal":{"name":"SIGABRT"}},"threads":[{"crashed":true}]}})", nullptr},
    {"sent_abort_has_none",
     R"({"crash":{"error":{"signal":{"name":"SIGABRT","sender_pid":7}},"threads":[{"crashed":true}]}})",
     nullptr},
    {"empty_report_has_none", "{}", nullptr},
};

class KX_CrashDoctorTest : public ::testing::TestWithParam<DiagnosisRow>
{
};

TEST_P(KX_CrashDoctorTest, diagnoses)
{
    const DiagnosisRow &row = GetParam();
    const QJsonObject report = QJsonDocument::fromJson(row.report).object();
    const auto diagnosis = KX_CrashDoctor::diagnoseCrash(report);
    if (row.diagnosis == nullptr) {
        EXPECT_FALSE(diagnosis.has_value()) << diagnosis->toStdString();
    } else {
        ASSERT_TRUE(diagnosis.has_value());
        EXPECT_EQ(*diagnosis, QString::fromLatin1(row.diagnosis));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, KX_CrashDoctorTest, ::testing::ValuesIn(DiagnosisRows), [](const auto &info) {
    return std::string(info.param.name);
});

} // namespace
