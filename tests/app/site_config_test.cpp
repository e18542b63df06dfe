#include "app/site_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace melvara::app {
namespace {

// Sets or clears MELVARA_SITE_HOST for one scope and puts the old value back.
class SiteHostVariable {
  public:
    explicit SiteHostVariable(const std::optional<std::string>& value) {
        if (const char* old = std::getenv(kName)) {
            saved_ = old;
        }
        Apply(value);
    }
    ~SiteHostVariable() { Apply(saved_); }
    SiteHostVariable(const SiteHostVariable&) = delete;
    SiteHostVariable& operator=(const SiteHostVariable&) = delete;

  private:
    static constexpr const char* kName = "MELVARA_SITE_HOST";
    static void Apply(const std::optional<std::string>& value) {
        if (value) {
            setenv(kName, value->c_str(), 1);
        } else {
            unsetenv(kName);
        }
    }
    std::optional<std::string> saved_;
};

TEST(SiteConfig, BuildSettingReachesTheProgram) {
    EXPECT_EQ(BuiltSiteHost(), MELVARA_EXPECTED_SITE_HOST);
}

TEST(SiteConfig, EnvironmentOverridesTheBuildSettingWhenNotEmpty) {
    const struct {
        std::optional<std::string> variable;
        std::string host;
    } cases[] = {
        {std::nullopt, MELVARA_EXPECTED_SITE_HOST},
        {"", MELVARA_EXPECTED_SITE_HOST},
        {"music.localhost:8443", "music.localhost:8443"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable.value_or("(unset)"));
        SiteHostVariable variable(c.variable);
        EXPECT_EQ(SiteHost(), c.host);
        EXPECT_EQ(PlaylistPageAddress(), "https://" + c.host + "/laoge/500shou.htm");
    }
}

}  // namespace
}  // namespace melvara::app
