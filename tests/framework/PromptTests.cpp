// The modal-window flag and the prompt seam: one holder of the flag at a time
// however many threads ask, and a prompt that cannot be shown is a Cancel.
#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tvx {
namespace {

TEST(ModalWindowScope, OneHolderAtATimeAndEachGivesBackOnlyWhatItTook) {
    Flags().modalWindow.store(0);
    {
        ModalWindowScope window;
        ASSERT_TRUE(window.Entered());
        {
            ModalWindowScope alert;
            EXPECT_FALSE(alert.Entered()) << "a second holder while a window is open";
        }
        EXPECT_EQ(1, Flags().modalWindow.load()) << "the one that did not enter gave back the window's flag";
    }
    EXPECT_EQ(0, Flags().modalWindow.load());

    // Threads that ask at once: never two inside.
    std::atomic<int> inside{0}, most{0}, entered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                ModalWindowScope scope;
                if (!scope.Entered()) continue;
                ++entered;
                const int now = ++inside;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                --inside;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(1, most.load());
    EXPECT_GT(entered.load(), 0);
    EXPECT_EQ(0, Flags().modalWindow.load());
}

TEST(Prompts, ASinkAnswersAndAMissingOrFailingOneCancels) {
    const PromptRequest request{115, L"E:\\", 0, {}};
    const PromptSink previous = SetPromptSink(nullptr);
    EXPECT_EQ(IDCANCEL, ShowPrompt(request)) << "no dialogs wired";

    SetPromptSink([](const PromptRequest& asked) -> INT_PTR {
        EXPECT_EQ(115, asked.dialog);
        return kMakeCurrentDisk;
    });
    EXPECT_EQ(kMakeCurrentDisk, ShowPrompt(request));

    SetPromptSink([](const PromptRequest&) -> INT_PTR { throw std::runtime_error("no dialog"); });
    EXPECT_EQ(IDCANCEL, ShowPrompt(request)) << "a failing dialog must not end the thread that asked";
    SetPromptSink(previous);
}

}  // namespace
}  // namespace tvx
