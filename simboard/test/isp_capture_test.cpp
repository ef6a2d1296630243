// The capture cycle: pipelines, pools of shots, buffers, trigger, frame,
// acquire, release and stop, with generator frames as input.
#include "isp_test_support.h"

namespace isp_capture_test {
namespace {

using namespace isptest;
using simboard::IspCorruption;
using simboard::IspShotState;

class IspCapture : public IspTest {
protected:
    // A pipeline on gasket 2 with a Bayer data extraction, `shots` shots,
    // one display buffer per shot, and a started parallel 12-bit generator.
    void bringUp(unsigned shots = 2, pxlFormat extraction = BAYER_RGGB_12)
    {
        fd = openDevice();
        setup.width = 8;
        setup.height = 4;
        setup.display = extraction;
        setup.privateValue = 0x5A;
        pipeline = startedPipeline(fd, setup, shots);
        for (unsigned i = 0; i < shots; ++i) {
            long id = createBuffer(fd, pipeline, CI_ALLOC_DISP);
            ASSERT_GT(id, 0);
            buffers.push_back(static_cast<uint32_t>(id));
        }
        generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, 4096, 2);
    }

    CI_BUFFID display(unsigned i) const
    {
        CI_BUFFID ids{};
        ids.dispId = buffers.at(i);
        return ids;
    }

    int fd = -1;
    int pipeline = 0;
    int generator = -1;
    PipeSetup setup;
    std::vector<uint32_t> buffers;
};

TEST_F(IspCapture, ShotLifeCycle)
{
    bringUp();
    CI_POOL_PARAM pool{};
    ASSERT_GT(addShot(fd, pipeline, &pool), 0);  // a third shot, to look at its answer
    EXPECT_GT(pool.iShotId, 0);
    EXPECT_NE(pool.aMemMapIds[CI_POOL_MAP_ID_STAT], 0u);
    EXPECT_EQ(pool.aMemMapIds[CI_POOL_MAP_ID_DPF], 0u);  // no defect map output configured
    EXPECT_EQ(pool.aMemMapIds[CI_POOL_MAP_ID_ENS], 0u);
    EXPECT_NE(pool.aMemMapIds[CI_POOL_MAP_ID_LOAD], 0u);
    EXPECT_EQ(pool.sample.statsSize, 6108u);
    EXPECT_EQ(pool.sample.loadSize, 1268u);
    EXPECT_EQ(pool.sample.pStatistics, nullptr);
    EXPECT_EQ(available(fd, pipeline).uiShots, 3u);
    EXPECT_EQ(available(fd, pipeline).uiBuffers, 2u);

    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_HASPENDING, pipeline), 1);
    EXPECT_EQ(available(fd, pipeline).uiBuffers, 1u);
    CI_BUFFER_PARAM shot;
    EXPECT_EQ(acquire(fd, pipeline, false, &shot), -EALREADY);  // no frame yet

    const std::vector<uint16_t> samples = testSamples(setup.width, setup.height, 12);
    ASSERT_EQ(sendSamples(fd, generator, samples, 8, 4), 0);
    CI_DG_FRAMEWAIT wait{};
    wait.datagenId = generator;
    wait.bBlocking = 1;
    EXPECT_EQ(request(fd, CI_IIFDG_WAITPROCESSED, &wait), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_HASPENDING, pipeline), 1);  // processed, not yet acquired

    long shotId = acquire(fd, pipeline, true, &shot);
    ASSERT_GT(shotId, 0);
    EXPECT_EQ(shot.shot.dispId, buffers[0]);
    EXPECT_EQ(shot.shot.encId, 0u);
    // RGGB12: 16 samples in 24 bytes; data-extraction lines are not rounded to 64 bytes.
    EXPECT_EQ(shot.shot.aDispSize[0], 24u);
    EXPECT_EQ(shot.shot.aDispSize[1], 4u);
    EXPECT_EQ(shot.shot.statsSize, 6108u);
    EXPECT_EQ(shot.shot.ui8PrivateValue, 0x5A);
    EXPECT_EQ(shot.shot.bFrameError, 0);
    EXPECT_EQ(shot.shot.i32MissedFrames, 0);
    EXPECT_GT(shot.shot.ui32InterruptTS, shot.shot.ui32LinkedListTS);
    EXPECT_GT(shot.shot.ui64InterruptSysTime, shot.shot.ui64LinkedListSysTime);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_HASPENDING, pipeline), 0);

    // The output carries the input's samples, 12 bits packed from the least significant bit.
    std::vector<uint8_t> out = readObject(fd, buffers[0], 24 * 4);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 8; x += 2) {
            const uint8_t *p = out.data() + y * 24 + x / 2 * 3;
            EXPECT_EQ(p[0] | ((p[1] & 0xF) << 8), samples[y * 8 + x]);
            EXPECT_EQ((p[1] >> 4) | (p[2] << 4), samples[y * 8 + x + 1]);
        }
    // The statistics status word: no error, the private value in bits 16-23.
    const auto view = driver->pipeline(pipeline)->shots;
    uint32_t statsId = 0;
    for (const auto &s : view)
        if (s.id == shotId)
            statsId = s.mapIds[CI_POOL_MAP_ID_STAT];
    std::vector<uint8_t> stats = readObject(fd, statsId, 6108);
    EXPECT_EQ(word32(stats, 5440), 0x005A0000u);
    EXPECT_EQ(word32(stats, 5476), shot.shot.ui32LinkedListTS);  // the clock stood still from trigger to frame

    EXPECT_EQ(available(fd, pipeline).uiBuffers, 1u);  // held by the acquired shot
    ASSERT_EQ(release(fd, pipeline, static_cast<int>(shotId)), 0);
    EXPECT_EQ(release(fd, pipeline, static_cast<int>(shotId)), -EINVAL);
    EXPECT_EQ(available(fd, pipeline).uiBuffers, 2u);
    EXPECT_EQ(available(fd, pipeline).uiShots, 3u);
}

TEST_F(IspCapture, TriggerAndAcquireRefusals)
{
    bringUp(1);
    CI_BUFFER_PARAM shot;
    CI_BUFFID ids = display(0);
    CI_BUFFER_TRIGG bad{};
    bad.captureId = pipeline;
    bad.shotId = 3;
    EXPECT_EQ(request(fd, CI_CAPTURE_TRIGGER, &bad), -EINVAL);  // a trigger names no shot

    CI_BUFFID wrongType{};
    wrongType.encId = buffers[0];  // a display buffer in the encoder slot
    EXPECT_EQ(trigger(fd, pipeline, wrongType), -EINVAL);
    CI_BUFFID unknown{};
    unknown.dispId = 999;
    EXPECT_EQ(trigger(fd, pipeline, unknown), -EINVAL);
    EXPECT_EQ(trigger(fd, pipeline + 1, ids), -EINVAL);

    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    EXPECT_EQ(trigger(fd, pipeline, ids), -EADDRINUSE);  // the buffer is bound
    CI_BUFFID none{};
    EXPECT_EQ(trigger(fd, pipeline, none, false), -EALREADY);  // no free shot
    EXPECT_EQ(trigger(fd, pipeline, none, true), -ETIME);      // and no one else could free one
    EXPECT_EQ(acquire(fd, pipeline, true, &shot), -ETIME);      // queued, but no input will come
    EXPECT_EQ(acquire(fd, pipeline, false, &shot), -EALREADY);

    ASSERT_EQ(requestValue(fd, CI_CAPTURE_STOP, pipeline), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_STOP, pipeline), 0);  // idempotent
    EXPECT_EQ(acquire(fd, pipeline, true, &shot), -ECANCELED);
    EXPECT_EQ(trigger(fd, pipeline, ids), -ECANCELED);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_ISSTARTED, pipeline), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, pipeline), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, pipeline), -EALREADY);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_ISSTARTED, pipeline), 1);
}

TEST_F(IspCapture, StopDiscardsQueuedShotsAndFreesTheirBuffers)
{
    fd = openDevice();
    setup.display = BAYER_RGGB_10;
    pipeline = startedPipeline(fd, setup, 6);
    CI_BUFFID none{};
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(trigger(fd, pipeline, none), 0);
    // Four shots fit in the context's pending queue, the other two wait.
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_HASPENDING, pipeline), 6);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_HASWAITING, pipeline), 2);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_STOP, pipeline), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_HASPENDING, pipeline), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_HASWAITING, pipeline), 0);
    EXPECT_EQ(available(fd, pipeline).uiShots, 6u);

    // A buffer bound by a discarded shot is free again at once (stop, start, trigger on it).
    long buffer = createBuffer(fd, pipeline, CI_ALLOC_DISP);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_START, pipeline), 0);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(buffer);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_STOP, pipeline), 0);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_START, pipeline), 0);
    EXPECT_EQ(trigger(fd, pipeline, ids), 0);
}

TEST_F(IspCapture, AcquiredShotsSurviveStopAndGoWithDeletePool)
{
    bringUp(2);
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    CI_BUFFER_PARAM shot;
    long shotId = acquire(fd, pipeline, true, &shot);
    ASSERT_GT(shotId, 0);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_STOP, pipeline), 0);
    EXPECT_EQ(available(fd, pipeline).uiShots, 1u);  // the acquired one stays with the user
    EXPECT_EQ(release(fd, pipeline, static_cast<int>(shotId)), 0);

    ASSERT_EQ(requestValue(fd, CI_CAPTURE_START, pipeline), 0);
    ASSERT_EQ(trigger(fd, pipeline, display(1)), 0);
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    ASSERT_GT(acquire(fd, pipeline, true, &shot), 0);
    ASSERT_EQ(requestValue(fd, CI_CONFIG_DELPOOL, pipeline), 0);  // acquired shot included
    EXPECT_EQ(driver->liveObjects().shots, 0u);
    EXPECT_EQ(available(fd, pipeline).uiBuffers, 2u);
    struct CI_ALLOC_PARAM dereg {};
    dereg.configId = static_cast<uint32_t>(pipeline);
    dereg.type = CI_ALLOC_DISP;
    dereg.uiMemMapId = buffers[1];
    EXPECT_EQ(request(fd, CI_DEREGISTER_BUFF, &dereg), 0);
    EXPECT_EQ(request(fd, CI_DEREGISTER_BUFF, &dereg), -EINVAL);
}

TEST_F(IspCapture, AnHdrInsertionBufferIsFreeOnceItsFrameIsRead)
{
    fd = openDevice();
    setup.display = BAYER_RGGB_12;
    setup.hdrInsertion = BGR_161616_64;
    pipeline = startedPipeline(fd, setup, 2);
    const long insertion = createBuffer(fd, pipeline, CI_ALLOC_HDRINS);
    ASSERT_GT(insertion, 0);
    for (int i = 0; i < 2; ++i)
        buffers.push_back(static_cast<uint32_t>(createBuffer(fd, pipeline, CI_ALLOC_DISP)));
    generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, 4096, 2);
    CI_BUFFID ids = display(0);
    ids.idHDRIns = static_cast<uint32_t>(insertion);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    EXPECT_EQ(trigger(fd, pipeline, ids), -EADDRINUSE);  // not read yet: the first shot still needs it
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);

    // The acquired shot keeps its display buffer, not the input it was made from:
    // a stop and a start later (the library then holds it available), it is named again.
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_STOP, pipeline), 0);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_START, pipeline), 0);
    EXPECT_EQ(trigger(fd, pipeline, ids), -EADDRINUSE);  // display 0 is with the acquired shot
    ids.dispId = buffers[1];
    EXPECT_EQ(trigger(fd, pipeline, ids), 0);
}

TEST_F(IspCapture, DeregisteringABoundBufferIsRefused)
{
    bringUp(1);
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    CI_ALLOC_PARAM dereg{};
    dereg.configId = static_cast<uint32_t>(pipeline);
    dereg.type = CI_ALLOC_DISP;
    dereg.uiMemMapId = buffers[0];
    EXPECT_EQ(request(fd, CI_DEREGISTER_BUFF, &dereg), -EADDRINUSE);
    dereg.type = CI_ALLOC_ENC;
    EXPECT_EQ(request(fd, CI_DEREGISTER_BUFF, &dereg), -EINVAL);  // wrong type
}

TEST_F(IspCapture, AFrameWithoutAShotIsCountedAsMissed)
{
    bringUp(2);
    const std::vector<uint16_t> samples = testSamples(8, 4, 12);
    ASSERT_EQ(sendSamples(fd, generator, samples, 8, 4), 0);  // nothing triggered: dropped
    ASSERT_EQ(sendSamples(fd, generator, samples, 8, 4), 0);
    EXPECT_EQ(driver->gasket(setup.imager).frameCount, 2u);
    EXPECT_EQ(driver->generator(generator)->processed, 2u);  // dropped frames still count as processed
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    ASSERT_EQ(sendSamples(fd, generator, samples, 8, 4), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.i32MissedFrames, 2);

    CI_RTM_INFO rtm{};
    ASSERT_EQ(request(fd, CI_RTM_GET, &rtm), 0);
    EXPECT_EQ(rtm.aRTMEntries[0], 3u);  // frames received
    EXPECT_EQ(rtm.aRTMEntries[1], 1u);  // shots completed
    EXPECT_EQ(rtm.aRTMEntries[2], 2u);  // frames dropped
    EXPECT_EQ(rtm.context_status[0], 1u);
    EXPECT_EQ(rtm.context_status[1], 0u);
    EXPECT_EQ(rtm.context_linkEmptyness[0], 1u);
    EXPECT_EQ(rtm.context_position[0][2], 8u);
    EXPECT_EQ(rtm.context_position[0][3], 4u);
}

TEST_F(IspCapture, FramePeriodFollowsTheGeneratorBlanking)
{
    bringUp(2);
    CI_BUFFER_PARAM first, second;
    const std::vector<uint16_t> samples = testSamples(8, 4, 12);
    std::vector<uint8_t> bytes;
    const uint32_t stride = buildFrame(CI_DGFMT_PARALLEL, 12, 8, 4, samples, bytes);
    for (CI_BUFFER_PARAM *shot : {&first, &second}) {
        ASSERT_EQ(trigger(fd, pipeline, display(shot == &first ? 0 : 1)), 0);
        ASSERT_EQ(sendFrame(fd, generator, bytes, stride, 8, 4, 120, 16), 0);
        ASSERT_GT(acquire(fd, pipeline, false, shot), 0);
    }
    // (8 + 120) x (4 + 16) = 2560 pixel clocks, one per tick at 1 pixel per clock.
    std::vector<uint8_t> a = readObject(fd, driver->pipeline(pipeline)->shots[0].mapIds[0], 6108);
    std::vector<uint8_t> b = readObject(fd, driver->pipeline(pipeline)->shots[1].mapIds[0], 6108);
    EXPECT_EQ(word32(b, 5476) - word32(a, 5476), 2560u);
    EXPECT_EQ(second.shot.ui32InterruptTS - first.shot.ui32InterruptTS, 2560u);
    EXPECT_EQ(second.shot.ui64InterruptSysTime - first.shot.ui64InterruptSysTime, 6400u);  // ns at 400 MHz
}

TEST_F(IspCapture, FramesMarkedErroneous)
{
    bringUp(2);
    driver->markFramesErroneous(1);
    const std::vector<uint16_t> samples = testSamples(8, 4, 12);
    CI_BUFFER_PARAM shot;
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    ASSERT_EQ(sendSamples(fd, generator, samples, 8, 4), 0);
    long first = acquire(fd, pipeline, false, &shot);
    ASSERT_GT(first, 0);
    EXPECT_EQ(shot.shot.bFrameError, 1);
    std::vector<uint8_t> stats = readObject(fd, driver->pipeline(pipeline)->shots[0].mapIds[0], 6108);
    EXPECT_EQ(word32(stats, 5440), 0x005A0001u);
    ASSERT_EQ(release(fd, pipeline, static_cast<int>(first)), 0);
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    ASSERT_EQ(sendSamples(fd, generator, samples, 8, 4), 0);
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.bFrameError, 0);
}

TEST_F(IspCapture, CaptureRectangleOutsideTheFrameIsAnError)
{
    fd = openDevice();
    setup.display = BAYER_RGGB_8;
    setup.offsetX = 4;  // an 8-pixel rectangle from x = 4 in an 8-pixel frame
    pipeline = startedPipeline(fd, setup, 1);
    long buffer = createBuffer(fd, pipeline, CI_ALLOC_DISP);
    generator = startedGenerator(fd, CI_DGFMT_PARALLEL, 12, setup.imager, 4096, 1);
    CI_BUFFID ids{};
    ids.dispId = static_cast<uint32_t>(buffer);
    ASSERT_EQ(trigger(fd, pipeline, ids), 0);
    std::vector<uint16_t> samples(32);
    for (uint32_t i = 0; i < 32; ++i)
        samples[i] = static_cast<uint16_t>(16 * i);  // 12-bit samples; RGGB8 keeps the top 8 bits: i
    ASSERT_EQ(sendSamples(fd, generator, samples, 8, 4), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.bFrameError, 1);
    EXPECT_EQ(shot.shot.aDispSize[0], 8u);
    std::vector<uint8_t> out = readObject(fd, static_cast<uint32_t>(buffer), 8 * 4);
    // What fits is processed: columns 4 to 7, the rest is 0.
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[3], 7);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[8 + 1], 13);
}

TEST_F(IspCapture, UpdateTakesOnlyTheGroupsOfItsMask)
{
    fd = openDevice();
    setup.display = BAYER_RGGB_8;
    pipeline = registerPipeline(fd, setup);
    CI_PIPE_INFO info = makeInfo(setup);
    std::array<uint32_t, simboard::kIspLoadStructureWords> load;
    load.fill(0xA5A5A5A5);
    ASSERT_EQ(update(fd, pipeline, info, load, CI_UPD_GRP_2), 0);
    auto view = driver->pipeline(pipeline);
    EXPECT_EQ(view->loadStructure[0], 0xA5A5A5A5u);   // statistics words: always
    EXPECT_EQ(view->loadStructure[226], 0xA5A5A5A5u);
    EXPECT_EQ(view->loadStructure[86], 0xA5A5A5A5u);  // group 2
    EXPECT_EQ(view->loadStructure[124], 0xA5A5A5A5u);
    EXPECT_EQ(view->loadStructure[3], 0u);            // group 0 not in the mask
    EXPECT_EQ(view->loadStructure[231], 0u);          // group 4
    EXPECT_EQ(view->loadStructure[47], 0u);           // never written
    EXPECT_EQ(view->changedWords.front(), 0u);
    EXPECT_EQ(view->receivedGroups, 0x7Fu);           // the first update after registering had them all

    // Defect map: a deep copy taken under its bit.
    std::vector<uint16_t> defects = {1, 2, 3, 4};
    info.dpfConfig.sInput.apDefectInput = defects.data();
    info.dpfConfig.sInput.ui32NDefect = 2;
    ASSERT_EQ(update(fd, pipeline, info, load, CI_UPD_DPF_INPUT), 0);
    defects[0] = 99;
    EXPECT_EQ(driver->pipeline(pipeline)->defects, (std::vector<uint16_t>{1, 2, 3, 4}));
    info.dpfConfig.sInput.apDefectInput = nullptr;
    EXPECT_EQ(update(fd, pipeline, info, load, CI_UPD_DPF_INPUT), -EFAULT);

    // While capturing, the table bits are refused and named back.
    ASSERT_EQ(setLinestore(fd, 0, -1), 0);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_START, pipeline), 0);
    int failed = 0;
    EXPECT_EQ(update(fd, pipeline, info, load, CI_UPD_ALL, false, &failed), -EADDRINUSE);
    EXPECT_EQ(failed, CI_UPD_LSH_REG | CI_UPD_DPF_INPUT | CI_UPD_AWS_REG);
    info.config.ui8Context = 1;
    EXPECT_EQ(update(fd, pipeline, info, load, CI_UPD_GRP_0), -EADDRINUSE);  // context of a running capture
}

TEST_F(IspCapture, StartNeedsALinestoreAndAConfiguration)
{
    fd = openDevice();
    setup.display = BAYER_RGGB_8;
    CI_PIPE_INFO info = makeInfo(setup);
    long id = request(fd, CI_PIPELINE_REGISTER, &info);
    ASSERT_GT(id, 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, static_cast<int>(id)), -EINVAL);  // nothing loaded
    auto load = makeLoad(setup);
    ASSERT_EQ(update(fd, static_cast<int>(id), info, load, CI_UPD_ALL), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, static_cast<int>(id)), -EINVAL);  // no line store
    ASSERT_EQ(setLinestore(fd, -1, 0), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, static_cast<int>(id)), -EINVAL);  // context 0 disabled
    ASSERT_EQ(setLinestore(fd, 0, -1), 0);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_START, static_cast<int>(id)), 0);

    // A second pipeline on the same context cannot start.
    long other = request(fd, CI_PIPELINE_REGISTER, &info);
    ASSERT_GT(other, id);
    ASSERT_EQ(update(fd, static_cast<int>(other), info, load, CI_UPD_ALL), 0);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, static_cast<int>(other)), -EADDRINUSE);
    EXPECT_EQ(requestValue(fd, CI_PIPELINE_DEREGISTER, static_cast<int>(id)), 0);  // stops it
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_START, static_cast<int>(other)), 0);
}

TEST_F(IspCapture, CorruptedAcquisitionAnswers)
{
    bringUp(2);
    driver->corrupt(IspCorruption::AcquireStatusWord, 0x00AB0001);
    driver->corrupt(IspCorruption::AcquireMissedFrames, 7);
    driver->corrupt(IspCorruption::AcquireBufferId, 4242, 1);
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.i32MissedFrames, 7);
    EXPECT_EQ(shot.shot.dispId, 4242u);
    std::vector<uint8_t> stats = readObject(fd, driver->pipeline(pipeline)->shots[0].mapIds[0], 6108);
    EXPECT_EQ(word32(stats, 5440), 0x00AB0001u);

    driver->corrupt(IspCorruption::AcquireShotId, 0);
    ASSERT_EQ(trigger(fd, pipeline, display(1)), 0);
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    ASSERT_EQ(acquire(fd, pipeline, false, &shot), 0);
}

TEST_F(IspCapture, DriverStoppingTheCaptureCancelsTheTrigger)
{
    bringUp(2);
    driver->corrupt(IspCorruption::TriggerStopsCapture);
    EXPECT_EQ(trigger(fd, pipeline, display(0)), -ECANCELED);
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_ISSTARTED, pipeline), 0);
    EXPECT_EQ(available(fd, pipeline).uiBuffers, 2u);
}

TEST_F(IspCapture, InterruptedAcquisitionThenSuccess)
{
    bringUp(2);
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    driver->planFault(CI_CAPTURE_ACQUIRE, -EINTR, 3);
    CI_BUFFER_PARAM shot;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(acquire(fd, pipeline, true, &shot), -EINTR);
    EXPECT_GT(acquire(fd, pipeline, true, &shot), 0);
}

TEST_F(IspCapture, AsapUpdateReachesQueuedShots)
{
    bringUp(2);
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    CI_PIPE_INFO info = makeInfo(setup);
    info.config.ui8PrivateValue = 0x33;
    auto load = makeLoad(setup);
    ASSERT_EQ(update(fd, pipeline, info, load, CI_UPD_GRP_0, true), 0);
    ASSERT_EQ(sendSamples(fd, generator, testSamples(8, 4, 12), 8, 4), 0);
    CI_BUFFER_PARAM shot;
    ASSERT_GT(acquire(fd, pipeline, false, &shot), 0);
    EXPECT_EQ(shot.shot.ui8PrivateValue, 0x33);
}

TEST_F(IspCapture, ConnectionsCleanUpWhatTheyOwn)
{
    bringUp(2);
    int other = openDevice();
    PipeSetup second;
    second.context = 1;
    second.imager = 3;
    second.display = BAYER_RGGB_8;
    int otherPipeline = registerPipeline(other, second);
    ASSERT_GT(addShot(other, otherPipeline), 0);
    CI_GASKET gasket{};
    gasket.uiGasket = 0;
    ASSERT_EQ(request(fd, CI_GASKET_ACQUIRE, &gasket), 0);
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    void *mapped = mapId(fd, buffers[1], 4096, PROT_READ);
    ASSERT_NE(mapped, nullptr);

    // The other connection cannot reach this one's objects.
    EXPECT_EQ(requestValue(other, CI_CAPTURE_STOP, pipeline), -EINVAL);
    EXPECT_EQ(requestValue(other, CI_IIFDG_STOP, generator), -EINVAL);
    EXPECT_EQ(mapId(other, buffers[1], 4096, PROT_READ), nullptr);

    PLATFORM_MemUnmap(mapped, 4096);
    closeDevice(fd);
    auto live = driver->liveObjects();
    EXPECT_EQ(live.connections, 1u);
    EXPECT_EQ(live.pipelines, 1u);
    EXPECT_EQ(live.shots, 1u);
    EXPECT_EQ(live.buffers, 0u);
    EXPECT_EQ(live.generators, 0u);
    EXPECT_EQ(live.generatorFrames, 0u);
    EXPECT_EQ(live.reservedGaskets, 0u);
    EXPECT_EQ(live.memoryObjects, 2u);  // the other shot's statistics and load structure
    EXPECT_EQ(request(other, CI_GASKET_ACQUIRE, &gasket), 0);  // free again
    CI_LINESTORE ls{};
    ASSERT_EQ(request(other, CI_LINESTORE_GET, &ls), 0);
    EXPECT_EQ(ls.aActive[0], 0);
}

TEST_F(IspCapture, CorruptedPoolAndBufferAnswers)
{
    fd = openDevice();
    setup.display = BAYER_RGGB_8;
    pipeline = registerPipeline(fd, setup);
    driver->corrupt(IspCorruption::AddPoolStatsSize, 6000);
    driver->corrupt(IspCorruption::AddPoolMapId, 0, CI_POOL_MAP_ID_STAT, 1, 1);  // the second add-pool
    CI_POOL_PARAM pool{};
    ASSERT_GT(addShot(fd, pipeline, &pool), 0);
    EXPECT_EQ(pool.sample.statsSize, 6000u);
    EXPECT_NE(pool.aMemMapIds[CI_POOL_MAP_ID_STAT], 0u);
    ASSERT_GT(addShot(fd, pipeline, &pool), 0);
    EXPECT_EQ(pool.sample.statsSize, 6108u);
    EXPECT_EQ(pool.aMemMapIds[CI_POOL_MAP_ID_STAT], 0u);

    driver->corrupt(IspCorruption::CreateBufferSize, 16);
    driver->corrupt(IspCorruption::CreateBufferMapId, 4000);
    uint32_t size = 0;
    EXPECT_EQ(createBuffer(fd, pipeline, CI_ALLOC_DISP, 0, false, 0, &size), 4000);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(mapId(fd, 4000, 16, PROT_READ), nullptr);  // nothing behind the answered id
    EXPECT_EQ(driver->liveObjects().buffers, 1u);          // the real buffer exists
}

TEST_F(IspCapture, DeregisteringAPipelineFreesWhatItHolds)
{
    bringUp(2);
    ASSERT_EQ(trigger(fd, pipeline, display(0)), 0);
    ASSERT_GT(createBuffer(fd, pipeline, CI_ALLOC_LSHMAT, 4096), 0);
    EXPECT_EQ(requestValue(fd, CI_PIPELINE_DEREGISTER, pipeline + 7), -EINVAL);
    ASSERT_EQ(requestValue(fd, CI_PIPELINE_DEREGISTER, pipeline), 0);
    auto live = driver->liveObjects();
    EXPECT_EQ(live.pipelines, 0u);
    EXPECT_EQ(live.shots, 0u);
    EXPECT_EQ(live.buffers, 0u);
    EXPECT_EQ(live.matrices, 0u);
    EXPECT_EQ(live.memoryObjects, 2u);  // the generator's frames remain
    EXPECT_EQ(requestValue(fd, CI_CAPTURE_ISSTARTED, pipeline), -EINVAL);
    CI_LINESTORE ls{};
    ASSERT_EQ(request(fd, CI_LINESTORE_GET, &ls), 0);
    EXPECT_EQ(ls.aActive[0], 0);
}

TEST_F(IspCapture, InternalDefectBufferOfCapturingPipelines)
{
    fd = openDevice();
    QOV_UINT32 available = 0;
    ASSERT_EQ(request(fd, CI_DPFINT_GET, &available), 0);
    EXPECT_EQ(available, 8192u);
    setup.display = BAYER_RGGB_8;
    CI_PIPE_INFO info = makeInfo(setup);
    info.dpfConfig.eDPFEnable = CI_DPF_DETECT_ENABLED | CI_DPF_READ_MAP_ENABLED;
    info.dpfConfig.sInput.ui16InternalBufSize = 100;
    long id = request(fd, CI_PIPELINE_REGISTER, &info);
    ASSERT_GT(id, 0);
    auto load = makeLoad(setup);
    ASSERT_EQ(update(fd, static_cast<int>(id), info, load, CI_UPD_ALL), 0);
    ASSERT_EQ(request(fd, CI_DPFINT_GET, &available), 0);
    EXPECT_EQ(available, 8192u);  // not capturing yet
    ASSERT_EQ(setLinestore(fd, 0, -1), 0);
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_START, static_cast<int>(id)), 0);
    ASSERT_EQ(request(fd, CI_DPFINT_GET, &available), 0);
    EXPECT_EQ(available, 8092u);
}

}  // namespace
}  // namespace isp_capture_test
