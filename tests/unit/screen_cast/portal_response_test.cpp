// What the screen-cast portal's answers mean for a recording.
#include <gtest/gtest.h>

#include "platform/portal/portal_response.h"

namespace marrowdale {
namespace {

TEST(PortalResponse, EveryKindOfAnswer) {
    struct Row {
        const char* what;
        PortalResponse response;
        ScreenCastStatus status;
        const char* errorHas;
    };
    PortalResponse ok;
    ok.code = 0;
    PortalResponse cancelled;
    cancelled.code = 1;
    PortalResponse ended;
    ended.code = 2;
    PortalResponse unknownCode;
    unknownCode.code = 77;
    PortalResponse callFailed;
    callFailed.code = 0;
    callFailed.callError = "Portal operation not allowed";
    PortalResponse silent;
    silent.timedOut = true;
    const Row rows[] = {
        {"success", ok, ScreenCastStatus::kOk, ""},
        {"the user said no", cancelled, ScreenCastStatus::kRefused, "permission"},
        {"the portal gave up", ended, ScreenCastStatus::kFailed, "code 2"},
        {"an unknown code", unknownCode, ScreenCastStatus::kFailed, "code 77"},
        {"the call failed", callFailed, ScreenCastStatus::kFailed, "not allowed"},
        {"no answer", silent, ScreenCastStatus::kFailed, "in time"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const PortalVerdict v = judgePortalResponse(row.response, "Start");
        EXPECT_EQ(v.status, row.status);
        EXPECT_NE(v.error.find(row.errorHas), std::string::npos) << v.error;
        EXPECT_EQ(v.error.empty(), row.status == ScreenCastStatus::kOk) << v.error;
    }
}

}  // namespace
}  // namespace marrowdale
