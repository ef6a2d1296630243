#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim_image/image.h"

namespace {

// A file class that fails at a chosen step and records whether the end ran.
class StepImage : public CImageBase {
public:
    const char *headerResult = nullptr;
    const char *dataResult = nullptr;
    bool ended = false;
    const char *SaveFileStart(const char *, void *, void **pSC) override
    {
        *pSC = this;
        return nullptr;
    }
    const char *SaveFileHeader(void *) override { return headerResult; }
    const char *SaveFileData(void *) override { return dataResult; }
    const char *SaveFileEnd(void *) override
    {
        ended = true;
        return "end message";
    }
};

TEST(ImageBase, ModelTableAndEmptyImage)
{
    EXPECT_EQ(CImageBase::GetColorModelInfo(CM_UNDEF), nullptr);
    EXPECT_EQ(CImageBase::GetColorModelInfo(static_cast<colorModelEnum>(8)), nullptr);
    const COLORMODELINFO *rggb = CImageBase::GetColorModelInfo(CM_RGGB);
    ASSERT_NE(rggb, nullptr);
    EXPECT_EQ(rggb->Nchannels, 4);
    EXPECT_TRUE(rggb->isBayer);
    EXPECT_STREQ(rggb->channelNames[2], "G2");
    CImageBase empty;
    EXPECT_EQ(empty.GetNColChannels(), 0);
    EXPECT_FALSE(empty.IsDataLoaded());
    EXPECT_FALSE(empty.IsHeaderLoaded());
    EXPECT_STREQ(empty.LoadFileHeader("x", nullptr), "Internal error");
}

TEST(ImageBase, ChannelSizesFollowSubsampling)
{
    const QOV_INT8 depths[4] = {8, 8, 8, 8};
    CImageBase im;
    ASSERT_TRUE(im.CreateNewImage(5, 3, CM_YUV, SUBS_420, depths, nullptr));
    EXPECT_EQ(im.chnl[0].chnlWidth, 5);
    EXPECT_EQ(im.chnl[0].chnlHeight, 3);
    EXPECT_EQ(im.chnl[1].chnlWidth, 3);
    EXPECT_EQ(im.chnl[1].chnlHeight, 2);
    EXPECT_EQ(im.chnl[2].chnlWidth, 3);
    ASSERT_TRUE(im.CreateNewImage(5, 3, CM_RGGB, SUBS_GRBG, depths, nullptr));
    for (int c = 0; c < 4; c++) {
        EXPECT_EQ(im.chnl[c].chnlWidth, 3);
        EXPECT_EQ(im.chnl[c].chnlHeight, 2);
    }
    EXPECT_FALSE(im.CreateNewImage(5, 3, CM_UNDEF, SUBS_UNDEF, depths, nullptr));
    EXPECT_FALSE(im.CreateNewImage(-1, 3, CM_GRAY, SUBS_UNDEF, depths, nullptr));
    EXPECT_EQ(CImageBase::GetBayerFlip(SUBS_GBRG, SUBS_GRBG), 3);
    EXPECT_EQ(CImageBase::GetBayerFlip(SUBS_BGGR, SUBS_GRBG), 2);
    EXPECT_EQ(CImageBase::GetBayerFlip(SUBS_444), 0);
}

TEST(ImageBase, DefaultValuesAndSignedDepths)
{
    const QOV_INT8 depths[3] = {-10, 8, 12};
    const PIXEL values[3] = {-5, 7, 4095};
    CImageBase im;
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_RGB, SUBS_UNDEF, depths, values));
    EXPECT_TRUE(im.chnl[0].isSigned);
    EXPECT_EQ(im.chnl[0].bitDepth, 10);
    EXPECT_FALSE(im.chnl[1].isSigned);
    EXPECT_EQ(im.chnl[0].data[3], -5);
    EXPECT_EQ(im.chnl[2].data[0], 4095);
    EXPECT_TRUE(im.IsDataLoaded());

    // The ends of the convention: only a negative depth is signed.
    const QOV_INT8 ends[4] = {-1, 0, 1, -32};
    ASSERT_TRUE(im.CreateNewImage(2, 2, CM_RGGB, SUBS_RGGB, ends, nullptr));
    const bool isSigned[4] = {true, false, false, true};
    const int magnitude[4] = {1, 0, 1, 32};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(im.chnl[k].isSigned, isSigned[k]) << k;
        EXPECT_EQ(im.chnl[k].bitDepth, magnitude[k]) << k;
    }
}

TEST(ImageBase, BitDepthRescaling)
{
    EXPECT_EQ(CImageBase::ChBitDepth(1023, 10, 8), 255);
    EXPECT_EQ(CImageBase::ChBitDepth(-100, -8, -12), -1600);
    EXPECT_EQ(CImageBase::ChBitDepth(77, 9, 9), 77);
    EXPECT_EQ(CImageBase::ChBitDepth(100, 8, -10), 200);  // 9 magnitude bits

    const QOV_INT8 depths[3] = {8, 10, 8};
    CImageBase im;
    ASSERT_TRUE(im.CreateNewImage(1, 1, CM_RGB, SUBS_UNDEF, depths, nullptr));
    im.chnl[1].data[0] = 1000;
    im.ChangeChannelBitDepth(1, 10);  // already 10 bits: nothing changes
    EXPECT_EQ(im.chnl[1].data[0], 1000);
    im.ChangeChannelBitDepth(1, 8);
    EXPECT_EQ(im.chnl[1].data[0], 250);
    EXPECT_EQ(im.chnl[1].bitDepth, 8);
    im.ChangeChannelBitDepth(1, 40);  // out of range: ignored
    EXPECT_EQ(im.chnl[1].bitDepth, 8);
    im.chnl[0].data[0] = 200;
    im.chnl[2].data[0] = 100;
    im.ChangeChannelBitDepth(-1, 9);  // every channel
    EXPECT_EQ(im.chnl[0].data[0], 400);
    EXPECT_EQ(im.chnl[1].data[0], 500);
    EXPECT_EQ(im.chnl[2].data[0], 200);
    EXPECT_EQ(im.chnl[2].bitDepth, 9);

    // Shifted out entirely, a sample keeps only its sign.
    EXPECT_EQ(CImageBase::ChBitDepth(-5, 32, 0), -1);
    EXPECT_EQ(CImageBase::ChBitDepth(5, 32, 0), 0);
    EXPECT_EQ(CImageBase::ChBitDepth(0, 32, 0), 0);
}

TEST(ImageBase, ClipToOwnDepths)
{
    const QOV_INT8 depths[3] = {8, 10, -12};
    CImageBase im;
    ASSERT_TRUE(im.CreateNewImage(2, 1, CM_RGB, SUBS_UNDEF, depths, nullptr));
    const PIXEL samples[3][2] = {{300, -1}, {1024, 1023}, {2048, -2049}};
    for (int c = 0; c < 3; c++)
        for (int i = 0; i < 2; i++)
            im.chnl[c].data[i] = samples[c][i];
    EXPECT_EQ(im.ClipChannelValues(-1, 0, 0, true), 5u);  // counted, left alone
    EXPECT_EQ(im.chnl[0].data[0], 300);
    EXPECT_EQ(im.ClipChannelValues(-1, 0, 0, false), 5u);
    EXPECT_EQ(im.chnl[0].data[0], 255);
    EXPECT_EQ(im.chnl[0].data[1], 0);
    EXPECT_EQ(im.chnl[1].data[0], 1023);
    EXPECT_EQ(im.chnl[2].data[0], 2047);
    EXPECT_EQ(im.chnl[2].data[1], -2048);
    EXPECT_EQ(im.ClipChannelValuesToBD(-1, false), 0u);
    EXPECT_EQ(im.ClipChannelValues(5, 0, 0, false), 0u);

    im.OffsetChannelValues(0, 10);
    EXPECT_EQ(im.chnl[0].data[0], 265);
    EXPECT_EQ(im.ClipChannelValues(0, 0, 260, false), 1u);
    EXPECT_EQ(im.chnl[0].data[0], 260);

    // A channel without bits holds only 0, by either clip.
    const QOV_INT8 none[3] = {8, 0, 8};
    ASSERT_TRUE(im.CreateNewImage(3, 1, CM_RGB, SUBS_UNDEF, none, nullptr));
    struct Clip {
        const char *how;
        QOV_UINT32 (*run)(CImageBase &, bool);
    };
    const Clip clips[] = {
        {"to depth", [](CImageBase &i, bool count) { return i.ClipChannelValuesToBD(1, count); }},
        {"own range", [](CImageBase &i, bool count) { return i.ClipChannelValues(1, 0, 0, count); }},
    };
    for (const auto &c : clips) {
        const PIXEL values[3] = {0, 5, -3};
        for (int i = 0; i < 3; i++)
            im.chnl[1].data[i] = values[i];
        EXPECT_EQ(c.run(im, true), 2u) << c.how;
        EXPECT_EQ(im.chnl[1].data[1], 5) << c.how;
        EXPECT_EQ(c.run(im, false), 2u) << c.how;
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(im.chnl[1].data[i], 0) << c.how << " " << i;
    }
}

// Each channel operation takes one channel by its index, every channel for
// a negative index, and none for an index past the model's channels.
TEST(ImageBase, ChannelOperationsTakeTheChannelsTheirIndexNames)
{
    struct Op {
        const char *name;
        std::function<QOV_UINT32(CImageBase &, QOV_INT32)> apply;
        PIXEL changed;          // a sample of 300 in an 8-bit channel, once the operation took it
        int changedDepth;       // the channel's depth then
        QOV_UINT32 perChannel;  // result per sample taken
    };
    const Op ops[] = {
        {"offset", [](CImageBase &im, QOV_INT32 k) { im.OffsetChannelValues(k, 5); return 0u; }, 305, 8, 0},
        {"clip", [](CImageBase &im, QOV_INT32 k) { return im.ClipChannelValues(k, 0, 50, false); }, 50, 8, 1},
        {"clip to depth", [](CImageBase &im, QOV_INT32 k) { return im.ClipChannelValuesToBD(k, false); }, 255, 8, 1},
        {"depth", [](CImageBase &im, QOV_INT32 k) { im.ChangeChannelBitDepth(k, 9); return 0u; }, 600, 9, 0},
    };
    for (const Op &op : ops) {
        for (const QOV_INT32 index : {-1, 0, 1, 2, 3}) {
            SCOPED_TRACE(std::string(op.name) + " of channel " + std::to_string(index));
            const QOV_INT8 depths[3] = {8, 8, 8};
            CImageBase im;
            ASSERT_TRUE(im.CreateNewImage(3, 2, CM_RGB, SUBS_UNDEF, depths, nullptr));
            for (int c = 0; c < 3; c++)
                for (int i = 0; i < 6; i++)
                    im.chnl[c].data[i] = 300;
            const QOV_UINT32 taken = index < 0 ? 3 : (index < 3 ? 1 : 0);
            EXPECT_EQ(op.apply(im, index), 6 * taken * op.perChannel);
            for (int c = 0; c < 3; c++) {
                const bool isTaken = index < 0 || index == c;
                for (int i = 0; i < 6; i++)
                    EXPECT_EQ(im.chnl[c].data[i], isTaken ? op.changed : 300) << c << " " << i;
                EXPECT_EQ(im.chnl[c].bitDepth, isTaken ? op.changedDepth : 8) << c;
            }
            // The unused fourth channel stays as it was.
            EXPECT_EQ(im.chnl[3].bitDepth, 0);
            EXPECT_EQ(im.chnl[3].data, nullptr);
        }
    }
}

TEST(ImageBase, GreyMosaicToBayerChannels)
{
    const QOV_INT8 depth[1] = {10};
    CImageBase grey;
    ASSERT_TRUE(grey.CreateNewImage(4, 2, CM_GRAY, SUBS_UNDEF, depth, nullptr));
    for (int i = 0; i < 8; i++)
        grey.chnl[0].data[i] = i;  // row 0: 0 1 2 3, row 1: 4 5 6 7
    CImageBase bayer;
    EXPECT_EQ(bayer.ConvertFrom(&grey, CM_RGGB, SUBS_BGGR, true), 0);
    EXPECT_EQ(bayer.ConvertFrom(&grey, CM_RGB, SUBS_BGGR, true), 1);
    ASSERT_EQ(bayer.ConvertFrom(&grey, CM_RGGB, SUBS_BGGR, false), 0);
    // (0,0) -> B, (0,1) -> G2, (1,0) -> G1, (1,1) -> R
    EXPECT_EQ(bayer.chnl[3].data[0], 0);
    EXPECT_EQ(bayer.chnl[2].data[0], 1);
    EXPECT_EQ(bayer.chnl[1].data[0], 4);
    EXPECT_EQ(bayer.chnl[0].data[0], 5);
    EXPECT_EQ(bayer.chnl[0].data[1], 7);
    EXPECT_EQ(bayer.chnl[0].bitDepth, 10);
    EXPECT_EQ(bayer.ConvertFrom(&grey, CM_RGGB, SUBS_444, false), 1);
    EXPECT_FALSE(bayer.IsHeaderLoaded());

    // A wider mosaic, 8 x 4: every sample of the four 4 x 2 channels in its place.
    CImageBase wide;
    ASSERT_TRUE(wide.CreateNewImage(8, 4, CM_GRAY, SUBS_UNDEF, depth, nullptr));
    for (int i = 0; i < 32; i++)
        wide.chnl[0].data[i] = i;
    ASSERT_EQ(bayer.ConvertFrom(&wide, CM_RGGB, SUBS_RGGB, false), 0);
    for (int k = 0; k < 4; k++) {
        ASSERT_EQ(bayer.chnl[k].chnlWidth, 4);
        ASSERT_EQ(bayer.chnl[k].chnlHeight, 2);
        for (int r = 0; r < 2; r++)
            for (int c = 0; c < 4; c++)
                EXPECT_EQ(bayer.chnl[k].data[4 * r + c], (2 * r + k / 2) * 8 + 2 * c + k % 2) << k << " " << r << " " << c;
    }
}

TEST(ImageBase, SaveSingleFrameEndsAfterAFailure)
{
    StepImage im;
    im.headerResult = "header failed";
    EXPECT_STREQ(im.SaveSingleFrameImage("x", nullptr), "header failed");
    EXPECT_TRUE(im.ended);
    StepImage ok;
    EXPECT_STREQ(ok.SaveSingleFrameImage("x", nullptr), "end message");
}

TEST(ImageBase, SwapExchangesEverything)
{
    const QOV_INT8 depths[4] = {8, 8, 8, 8};
    CImageBase a, b;
    ASSERT_TRUE(a.CreateNewImage(4, 2, CM_RGB, SUBS_UNDEF, depths, nullptr));
    PIXEL *data = a.chnl[0].data;
    a.SwapWith(&b);
    EXPECT_FALSE(a.IsHeaderLoaded());
    EXPECT_EQ(b.width, 4);
    EXPECT_EQ(b.chnl[0].data, data);

    // Two described images trade their sizes both ways.
    CImageBase c;
    ASSERT_TRUE(c.CreateNewImage(6, 3, CM_GRAY, SUBS_UNDEF, depths, nullptr));
    PIXEL *grey = c.chnl[0].data;
    b.SwapWith(&c);
    EXPECT_EQ(b.width, 6);
    EXPECT_EQ(b.height, 3);
    EXPECT_EQ(b.colorModel, CM_GRAY);
    EXPECT_EQ(b.chnl[0].data, grey);
    EXPECT_EQ(c.width, 4);
    EXPECT_EQ(c.height, 2);
    EXPECT_EQ(c.colorModel, CM_RGB);
    EXPECT_EQ(c.chnl[0].data, data);
}

}  // namespace
