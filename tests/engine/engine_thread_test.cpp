// The asynchronous run: progress while a worker exists, refusal of a second
// start, cancellation, and a worker given up by CancelRun that must never
// outlive its engine.
#include "CImageEngine.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A progress callback that holds the caller while the gate is closed.
std::atomic<bool> gbGateOpen{true};
std::atomic<bool> gbStopAnswer{false};
std::atomic<int> gnCalls{0};
std::atomic<int> gnInside{0};

int GatedProgress(int)
{
    ++gnInside;
    ++gnCalls;
    while (!gbGateOpen.load())
        std::this_thread::sleep_for(1ms);
    --gnInside;
    return gbStopAnswer.load() ? 0 : 1;
}

void ResetGate()
{
    gbGateOpen = true;
    gbStopAnswer = false;
    gnCalls = 0;
    gnInside = 0;
}

// Polls until the engine reports 100, at most about 60 s.
bool WaitIdle(const CImageEngine& engine)
{
    for (int i = 0; i < 60000 && engine.GetProgress() < 100; ++i)
        std::this_thread::sleep_for(1ms);
    return engine.GetProgress() == 100;
}

bool WaitInsideCallback()
{
    for (int i = 0; i < 60000 && gnInside.load() == 0; ++i)
        std::this_thread::sleep_for(1ms);
    return gnInside.load() > 0;
}

} // namespace

TEST(ImageEngineThreadTest, WorkerRunMatchesTheSynchronousRunAndRefusesASecondStart)
{
    ResetGate();
    const testimage::Image photo = testimage::Coffee();
    ASSERT_FALSE(photo.rgb.empty());

    CImageEngine synchronous(1, photo.nRows, photo.nCols, -2, GatedProgress);
    synchronous.SetFinalScaling(1);
    std::vector<float> expected = photo.rgb;
    synchronous.Run(expected.data(), 0.0f, 0.0f);

    CImageEngine engine(1, photo.nRows, photo.nCols, -2, GatedProgress);
    engine.SetFinalScaling(1);
    EXPECT_EQ(engine.GetProgress(), 100);
    std::vector<float> pixels = photo.rgb;
    gbGateOpen = false;
    ASSERT_TRUE(engine.StartRun(pixels.data(), 0.0f, 0.0f));
    ASSERT_TRUE(WaitInsideCallback());
    EXPECT_LE(engine.GetProgress(), 99);
    EXPECT_FALSE(engine.StartRun(pixels.data(), 0.0f, 0.0f));
    gbGateOpen = true;

    ASSERT_TRUE(WaitIdle(engine));
    EXPECT_EQ(engine.TakeRunFailure(), nullptr);
    // The thread that runs the pipeline does not change a single bit.
    EXPECT_EQ(pixels, expected);

    // The engine can start again once the worker has ended.
    pixels = photo.rgb;
    ASSERT_TRUE(engine.StartRun(pixels.data(), 0.0f, 0.0f));
    ASSERT_TRUE(WaitIdle(engine));
    EXPECT_EQ(pixels, expected);
}

TEST(ImageEngineThreadTest, CancelStopsTheWorkerEvenWhenTheCallbackSaysContinue)
{
    ResetGate();
    constexpr int kRows = 300, kCols = 400;
    std::vector<float> pixels(kRows * kCols * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<float>((i * 7919) % 1000) / 1000.0f;

    CImageEngine engine(1, kRows, kCols, -2, GatedProgress);
    gbGateOpen = false;
    ASSERT_TRUE(engine.StartRun(pixels.data(), 0.0f, 0.0f));
    ASSERT_TRUE(WaitInsideCallback());
    std::thread opener([] {
        std::this_thread::sleep_for(50ms);
        gbGateOpen = true;
    });
    const auto start = std::chrono::steady_clock::now();
    engine.CancelRun();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    opener.join();

    // The worker ended on its own (no 30 s timeout, no 10 s pause).
    EXPECT_LT(elapsed, 20s);
    EXPECT_TRUE(engine.IsAborted());
    // It stopped at its next report, far from the end of the run.
    EXPECT_LT(engine.ProgressDone(), 5.0f);
    EXPECT_EQ(engine.GetProgress(), 100);

    // Without a worker CancelRun only raises the stop flag.
    CImageEngine idle(0, 2, 2, -2, nullptr);
    idle.CancelRun();
    EXPECT_TRUE(idle.IsAborted());
    EXPECT_EQ(idle.GetProgress(), 100);
}

TEST(ImageEngineThreadTest, AbandonedWorkerNeverOutlivesItsEngine)
{
    ResetGate();
    std::vector<float> pixels(40 * 50, 0.5f);
    pixels[7] = 1.0f;
    auto pEngine = std::make_unique<CImageEngine>(0, 40, 50, -2, GatedProgress);

    gbGateOpen = false;
    ASSERT_TRUE(pEngine->StartRun(pixels.data(), 0.0f, 0.0f));
    ASSERT_TRUE(WaitInsideCallback());

    // The worker hangs in its callback: CancelRun gives it up after its wait.
    pEngine->CancelRun(20ms, 0ms);
    EXPECT_EQ(pEngine->GetProgress(), 100);
    // It still runs on this engine, so a new run must not start beside it.
    EXPECT_FALSE(pEngine->StartRun(pixels.data(), 0.0f, 0.0f));

    // Destroying the engine waits for the worker, which now sees the stop.
    std::thread opener([] {
        std::this_thread::sleep_for(100ms);
        gbStopAnswer = true;
        gbGateOpen = true;
    });
    pEngine.reset();
    const int nCallsAtDestruction = gnCalls.load();
    EXPECT_EQ(gnInside.load(), 0);
    opener.join();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(gnCalls.load(), nCallsAtDestruction);
}

TEST(ImageEngineThreadTest, WorkerFailureIsKeptForTheOwner)
{
    ResetGate();
    CImageEngine engine(0, 4, 4, -2, nullptr);
    // A run without a buffer fails inside the worker; the failure waits for the owner.
    ASSERT_TRUE(engine.StartRun(nullptr, 0.0f, 0.0f));
    ASSERT_TRUE(WaitIdle(engine));
    std::exception_ptr pFailure = engine.TakeRunFailure();
    ASSERT_NE(pFailure, nullptr);
    EXPECT_THROW(std::rethrow_exception(pFailure), std::invalid_argument);
    EXPECT_EQ(engine.TakeRunFailure(), nullptr);
}

TEST(ImageEngineThreadTest, FailureIsThereAsSoonAsProgressAnswers100)
{
    ResetGate();
    CImageEngine engine(0, 4, 4, -2, nullptr);
    // An owner that asks once, right when its poll first sees 100, must get
    // the failure every time.
    int nMissed = 0;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(engine.StartRun(nullptr, 0.0f, 0.0f));
        while (engine.GetProgress() < 100) {
        }
        if (engine.TakeRunFailure() == nullptr)
            ++nMissed;
    }
    EXPECT_EQ(nMissed, 0);
}
