// /FIT and /MAXMB: what the parameter list turns them into, and which budgets are refused.
#include "params/fit_parameters.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "params/application_param_list.h"
#include "platform/text_encoding.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

FitParameters FromArguments(const std::vector<std::u16string>& arguments) {
  TApplicationParamList list(u"fbwarm", arguments, u"");
  return ReadFitParameters(list);
}

TEST(FitParameters, TheArgumentsGiveFitAndBudget) {
  struct Case {
    std::vector<std::u16string> arguments;
    bool fit;
    std::optional<uint64_t> budget;
  } cases[] = {
      {{u"/DB:x"}, false, std::nullopt},
      {{u"/SKIPCACHED"}, false, std::nullopt},
      {{u"/FIT"}, true, std::nullopt},
      {{u"-fit"}, true, std::nullopt},
      {{u"/MAXMB:512"}, true, 512 * kMiB},  // a budget alone asks for /FIT
      {{u"/FIT", u"/maxmb:1"}, true, 1 * kMiB},
      {{u"/MAXMB: 2048 "}, true, 2048 * kMiB},
      {{u"/MAXMB:1073741824"}, true, (uint64_t{1} << 30) * kMiB},
      // The first item that carries the name decides, as for every other parameter.
      {{u"/MAXMB:3", u"/MAXMB:4"}, true, 3 * kMiB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToNarrow(c.arguments.front()));
    const FitParameters fit = FromArguments(c.arguments);
    EXPECT_EQ(fit.fit, c.fit);
    EXPECT_EQ(fit.Budget(), c.budget);
  }
}

TEST(FitParameters, ABudgetThatIsNoWholeNumberOfMebibytesIsRefusedWhenTaken) {
  const std::u16string refused[] = {
      u"/MAXMB",     u"/MAXMB:",     u"/MAXMB:0",   u"/MAXMB:-5",         u"/MAXMB:1.5",
      u"/MAXMB:2GB", u"/MAXMB:0x10", u"/MAXMB:1 2", u"/MAXMB:1073741825", u"/MAXMB:99999999999",
  };
  for (const std::u16string& argument : refused) {
    SCOPED_TRACE(ToNarrow(argument));
    const FitParameters fit = FromArguments({argument});
    EXPECT_TRUE(fit.fit);
    ASSERT_TRUE(fit.refused.has_value());
    try {
      (void)fit.Budget();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      const std::u16string value = argument.find(u':') == std::u16string::npos
                                       ? u""
                                       : argument.substr(argument.find(u':') + 1);
      EXPECT_EQ(e.Message(), u"Parameter MAXMB ungueltig: \"" + value +
                                 u"\" (erwartet: ganze Zahl von MiB, mindestens 1)");
    }
  }
}

TEST(FitParameters, AValueLongerThanTheListGivesIsRefusedNotCut) {
  const FitParameters fit = FromArguments({u"/MAXMB:" + std::u16string(300, u'1')});
  EXPECT_TRUE(fit.refused.has_value());
  EXPECT_THROW((void)fit.Budget(), Exception);
}

}  // namespace
