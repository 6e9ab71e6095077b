// Sessions share nothing: each thread evaluates in its own session, and the
// reports of its nested evaluations reach its own handler only. Interrupting
// from another thread stops exactly the session asked.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "calculator/calculator.hpp"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 20;

struct Outcome {
  std::vector<std::string> reports;
  std::vector<std::string> answers;
};

// Thread k fails k nested evaluations per round, so a report delivered to
// the wrong session changes the counts of two threads.
void EvaluateInOwnSession(int k, Outcome& outcome) {
  calculator::Session session;
  session.on_report([&](std::string_view line) { outcome.reports.emplace_back(line); });
  session.set_variable("k", k);
  for (int round = 0; round < kRounds; ++round) {
    outcome.answers.push_back(session.answer("sigma(i,1,k,1/0)"));
    outcome.answers.push_back(session.answer("k*1000+sigma(i,1,100,i)"));
  }
}

TEST(SessionsInThreads, ReportsReachTheirOwnSession) {
  std::vector<Outcome> outcomes(kThreads + 1);
  std::vector<std::thread> threads;
  for (int k = 1; k <= kThreads; ++k) {
    threads.emplace_back(EvaluateInOwnSession, k, std::ref(outcomes[k]));
  }
  for (auto& thread : threads) {
    thread.join();
  }

  for (int k = 1; k <= kThreads; ++k) {
    const Outcome& got = outcomes[k];
    ASSERT_EQ(got.reports.size(), 2u * k * kRounds) << "thread " << k;
    for (std::size_t line = 0; line < got.reports.size(); line += 2) {
      EXPECT_EQ(got.reports[line], "Function Error : Wrong define in \"function\".");
      EXPECT_EQ(got.reports[line + 1], "> Can't divide by 0.");
    }
    const std::string sum = "Result is " + std::to_string(k * 1000 + 5050);
    for (std::size_t answer = 0; answer < got.answers.size(); answer += 2) {
      EXPECT_EQ(got.answers[answer], "Result is 0") << "thread " << k;
      EXPECT_EQ(got.answers[answer + 1], sum) << "thread " << k;
    }
  }
}

TEST(SessionsInThreads, InterruptStopsOnlyTheSessionAsked) {
  calculator::Session endless;
  calculator::Session busy;
  std::atomic<bool> started{false};
  endless.on_progress([&] { started.store(true); });
  std::string endless_answer;
  std::string busy_answer;
  std::thread first([&] {
    try {
      endless.evaluate("sigma(i,1,2000000000,i)");
      endless_answer = "finished";
    } catch (const calculator::Interrupted& interrupted) {
      endless_answer = interrupted.what();
    }
  });
  std::thread second([&] { busy_answer = busy.answer("sigma(i,1,100000,i)"); });
  while (!started.load()) {
    std::this_thread::yield();
  }
  endless.interrupt();
  first.join();
  second.join();
  EXPECT_EQ(endless_answer, "Interrupted.");
  EXPECT_EQ(busy_answer, "Result is 5.00005e+009");
}

}  // namespace
