// Lens-shading matrix buffers: allocation, hand-over for filling, the matrix
// in use and removal, against the simulated driver.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "test_ci_support.h"

namespace {

using citest::CiFixture;
using citest::LogCapture;
using citest::loggedError;

class Matrices : public CiFixture {
protected:
    // A description covering a 64 x 32 image with 16-pixel tiles.
    static CI_MODULE_LSH_MAT coveringDescription()
    {
        CI_MODULE_LSH_MAT config{};
        config.ui8TileSizeLog2 = 4;
        config.ui8BitsPerDiff = 8;
        config.ui16Width = 5;
        config.ui16Height = 3;
        config.ui16LineSize = 0;
        config.ui32Stride = 16;
        return config;
    }

    // Allocates a matrix, fills it and hands it back with its description.
    QOV_UINT32 filledMatrix(CI_PIPELINE *pPipeline, const CI_MODULE_LSH_MAT &config)
    {
        QOV_UINT32 id = 0;
        EXPECT_EQ(CI_PipelineAllocateLSHMatrix(pPipeline, 4096, &id), QOV_SUCCESS);
        CI_LSHMAT matrix{};
        EXPECT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, id, &matrix), QOV_SUCCESS);
        EXPECT_EQ(matrix.id, id);
        EXPECT_NE(matrix.data, nullptr);
        if (matrix.data)
            memset(matrix.data, 0x40, 64);
        matrix.config = config;
        EXPECT_EQ(CI_PipelineReleaseLSHMatrix(pPipeline, &matrix), QOV_SUCCESS);
        return id;
    }

    CI_PIPELINE *registered()
    {
        CI_PIPELINE *pPipeline = newPipeline(64, 32);
        EXPECT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
        return pPipeline;
    }

    INT_LSHMAT *matrixOf(CI_PIPELINE *pPipeline, QOV_UINT32 id)
    {
        for (sCell_T *pCell = List_getHead(&intOf(pPipeline)->sList_lshmat); pCell; pCell = List_getNext(pCell)) {
            INT_LSHMAT *pMatrix = static_cast<INT_LSHMAT *>(pCell->object);
            if (static_cast<QOV_UINT32>(pMatrix->ID) == id)
                return pMatrix;
        }
        return nullptr;
    }
};

TEST_F(Matrices, AllocationChecks)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    LogCapture log;
    EXPECT_EQ(CI_PipelineAllocateLSHMatrix(pPipeline, 4096, nullptr), QOV_ERROR_NOT_INITIALISED);
    EXPECT_EQ(CI_PipelineAllocateLSHMatrix(pPipeline, 0, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    driver->planFault(CI_CREATE_BUFF, -ENOMEM);
    EXPECT_EQ(CI_PipelineAllocateLSHMatrix(pPipeline, 4096, nullptr), QOV_ERROR_NO_MEMORY);
    const std::string &text = log.text();
    EXPECT_TRUE(loggedError(text, "CI_PipelineAllocateLSHMatrix", "Pipeline is not registered"));
    EXPECT_TRUE(loggedError(text, "CI_PipelineAllocateLSHMatrix", "pPipeline is NULL or size is 0"));
    EXPECT_TRUE(loggedError(text, "CI_PipelineAllocateLSHMatrix",
                            "Failed to create lsh matrix in kernel space (returned -12)"));
    EXPECT_EQ(CI_PipelineHasLSHBuffers(pPipeline), 0);
}

// A matrix the library cannot map is given back to the driver.
TEST_F(Matrices, MatrixTheLibraryCannotMapIsGivenBack)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    driver->corrupt(simboard::IspCorruption::CreateBufferSize, 1u << 24); // more than the driver can map
    QOV_UINT32 id = 77;
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAllocateLSHMatrix(pPipeline, 4096, &id), QOV_ERROR_FAILURE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAllocateLSHMatrix", "Failed to map Buffer to user-space"));
    }
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(CI_PipelineHasLSHBuffers(pPipeline), 0);
    EXPECT_EQ(driver->liveObjects().matrices, 0u);
    ASSERT_EQ(CI_PipelineAllocateLSHMatrix(pPipeline, 4096, &id), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineHasLSHBuffers(pPipeline), 1);
}

TEST_F(Matrices, FillSwitchAndSwitchOff)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    const QOV_UINT32 first = filledMatrix(pPipeline, coveringDescription());
    const QOV_UINT32 second = filledMatrix(pPipeline, coveringDescription());
    EXPECT_EQ(CI_PipelineHasLSHBuffers(pPipeline), 2);
    const int pipelineId = intOf(pPipeline)->ui32Identifier;
    EXPECT_EQ(driver->pipeline(pipelineId)->buffers.size(), 2u);

    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, first), QOV_SUCCESS);
    EXPECT_EQ(driver->pipeline(pipelineId)->matrixInUse, first);
    EXPECT_EQ(intOf(pPipeline)->pMatrix, matrixOf(pPipeline, first));
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, first), QOV_ERROR_NOT_AVAILABLE);
        CI_LSHMAT matrix{};
        EXPECT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, first, &matrix), QOV_ERROR_NOT_AVAILABLE);
        const std::string id = std::to_string(first);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineUpdateLSHMatrix", "LSH matrix " + id + " is not available"));
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAcquireLSHMatrix", "LSH matrix " + id + " not available"));
    }
    EXPECT_EQ(driver->pipeline(pipelineId)->matrixInUse, first);

    // Switching hands the first back to idle.
    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, second), QOV_SUCCESS);
    EXPECT_EQ(matrixOf(pPipeline, first)->eStatus, INT_BUFFER_AVAILABLE);
    EXPECT_EQ(matrixOf(pPipeline, second)->eStatus, INT_BUFFER_PENDING);
    EXPECT_EQ(driver->pipeline(pipelineId)->matrixInUse, second);

    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, 0), QOV_SUCCESS);
    EXPECT_EQ(intOf(pPipeline)->pMatrix, nullptr);
    EXPECT_EQ(matrixOf(pPipeline, second)->eStatus, INT_BUFFER_AVAILABLE);
    EXPECT_EQ(driver->pipeline(pipelineId)->matrixInUse, 0u);

    // Switching off with nothing in use still asks the driver.
    driver->clearRequests();
    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, 0), QOV_SUCCESS);
    EXPECT_EQ(driver->requestCount(CI_PIPELINE_CHANGE_LSH), 1u);

    ASSERT_EQ(CI_PipelineDeregisterLSHMatrix(pPipeline, first), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineDeregisterLSHMatrix(pPipeline, second), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().matrices, 0u);
    EXPECT_EQ(CI_PipelineHasLSHBuffers(pPipeline), 0);
}

// Destroying a pipeline that still holds output buffers and matrices, one of
// them in use, frees them all without a word in the log.
TEST_F(Matrices, DestroyingThePipelineFreesItsMatricesQuietly)
{
    connect();
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 2, 1);
    const QOV_UINT32 inUse = filledMatrix(pPipeline, coveringDescription());
    filledMatrix(pPipeline, coveringDescription());
    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, inUse), QOV_SUCCESS);
    ASSERT_EQ(driver->liveObjects().matrices, 2u);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDestroy(pPipeline), QOV_SUCCESS);
        EXPECT_EQ(log.text(), "");
    }
    EXPECT_EQ(driver->liveObjects().matrices, 0u);
    EXPECT_EQ(driver->liveObjects().buffers, 0u);
    EXPECT_EQ(driver->liveObjects().userMappings, 0u);
}

TEST_F(Matrices, HandOverRules)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    QOV_UINT32 id = 0;
    ASSERT_EQ(CI_PipelineAllocateLSHMatrix(pPipeline, 4096, &id), QOV_SUCCESS);
    const std::string sid = std::to_string(id);
    CI_LSHMAT matrix{};
    matrix.id = id;
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineReleaseLSHMatrix(pPipeline, &matrix), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, 0, &matrix), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, 4242, &matrix), QOV_ERROR_NOT_AVAILABLE);
        const std::string &text = log.text();
        EXPECT_TRUE(loggedError(text, "CI_PipelineReleaseLSHMatrix", "LSH matrix " + sid + " not acquired"));
        EXPECT_TRUE(loggedError(text, "CI_PipelineAcquireLSHMatrix", "pPipeline or pMatrix is NULL or id is 0"));
        EXPECT_TRUE(loggedError(text, "CI_PipelineAcquireLSHMatrix", "Could not find LSH matrix 4242 in user-side"));
    }

    // The driver holding the matrix back leaves it idle on this side.
    driver->planFault(CI_PIPELINE_GET_LSH, -EALREADY);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, id, &matrix), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAcquireLSHMatrix",
                                "LSH matrix " + sid + " is not available in kernel"));
    }
    driver->planFault(CI_PIPELINE_GET_LSH, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, id, &matrix), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAcquireLSHMatrix",
                                "LSH matrix " + sid + " not found in kernel-side"));
    }
    EXPECT_EQ(matrixOf(pPipeline, id)->eStatus, INT_BUFFER_AVAILABLE);

    ASSERT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, id, &matrix), QOV_SUCCESS);
    {
        // A matrix with the caller cannot be put in use.
        LogCapture log;
        EXPECT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, id), QOV_ERROR_NOT_AVAILABLE);
    }
    matrix.config = coveringDescription();
    driver->planFault(CI_PIPELINE_SET_LSH, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineReleaseLSHMatrix(pPipeline, &matrix), QOV_ERROR_FAILURE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineReleaseLSHMatrix",
                                "Failed to update kernel side for LSH matrix " + sid + "!"));
    }
    EXPECT_EQ(matrixOf(pPipeline, id)->eStatus, INT_BUFFER_ACQUIRED);
    ASSERT_EQ(CI_PipelineReleaseLSHMatrix(pPipeline, &matrix), QOV_SUCCESS);
    auto view = driver->pipeline(intOf(pPipeline)->ui32Identifier);
    ASSERT_TRUE(view);
    ASSERT_EQ(view->buffers.size(), 1u);
    EXPECT_EQ(view->buffers[0].description.ui16Width, 5);
    EXPECT_EQ(view->buffers[0].description.ui32Stride, 16u);
}

// Every field of the description given back reaches the driver, and the
// next hand-over returns it with the same mapping and size.
TEST_F(Matrices, DescriptionTravelsWhole)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    QOV_UINT32 id = 0;
    ASSERT_EQ(CI_PipelineAllocateLSHMatrix(pPipeline, 4096, &id), QOV_SUCCESS);
    CI_LSHMAT matrix{};
    ASSERT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, id, &matrix), QOV_SUCCESS);
    EXPECT_EQ(matrix.ui32Size, 4096u);
    void *const mapping = matrix.data;
    matrix.config = CI_MODULE_LSH_MAT{3, 5, 7, 9, 4, 6, 11, 13, 2, 64};
    ASSERT_EQ(CI_PipelineReleaseLSHMatrix(pPipeline, &matrix), QOV_SUCCESS);
    auto view = driver->pipeline(intOf(pPipeline)->ui32Identifier);
    ASSERT_TRUE(view);
    ASSERT_EQ(view->buffers.size(), 1u);
    EXPECT_EQ(memcmp(&view->buffers[0].description, &matrix.config, sizeof(matrix.config)), 0);

    CI_LSHMAT again{};
    ASSERT_EQ(CI_PipelineAcquireLSHMatrix(pPipeline, id, &again), QOV_SUCCESS);
    EXPECT_EQ(again.id, id);
    EXPECT_EQ(again.data, mapping);
    EXPECT_EQ(again.ui32Size, 4096u);
    EXPECT_EQ(memcmp(&again.config, &matrix.config, sizeof(matrix.config)), 0);
    ASSERT_EQ(CI_PipelineReleaseLSHMatrix(pPipeline, &again), QOV_SUCCESS);
}

TEST_F(Matrices, DescriptionMustCoverTheImager)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    CI_MODULE_LSH_MAT tooSmall = coveringDescription();
    tooSmall.ui16Width = 1;  // one column of tiles: too narrow for the imager
    const QOV_UINT32 id = filledMatrix(pPipeline, tooSmall);
    driver->clearRequests();
    LogCapture log;
    EXPECT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, id), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineUpdateLSHMatrix", "The lens shading values are not correct!"));
    EXPECT_EQ(driver->requestCount(CI_PIPELINE_CHANGE_LSH), 0u);
    EXPECT_EQ(intOf(pPipeline)->pMatrix, nullptr);
}

// The pipeline verification re-checks the matrix in use against the imager.
TEST_F(Matrices, VerificationChecksTheMatrixInUse)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    const QOV_UINT32 id = filledMatrix(pPipeline, coveringDescription());
    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, id), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineVerify(pPipeline), QOV_SUCCESS);
    pPipeline->sImagerInterface.ui16ImagerSize[0] = 100;  // wider than the grid
    LogCapture log;
    EXPECT_EQ(CI_PipelineVerify(pPipeline), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineVerify", "The lens shading values are not correct!"));
}

// Removing the matrix in use leaves no matrix recorded: later verifications
// do not read the freed record (the sanitizers check) and pass.
TEST_F(Matrices, DeregisteringTheMatrixInUse)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    const QOV_UINT32 id = filledMatrix(pPipeline, coveringDescription());
    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, id), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineDeregisterLSHMatrix(pPipeline, id), QOV_SUCCESS);
    EXPECT_EQ(intOf(pPipeline)->pMatrix, nullptr);
    EXPECT_EQ(driver->pipeline(intOf(pPipeline)->ui32Identifier)->matrixInUse, 0u);
    pPipeline->sImagerInterface.ui16ImagerSize[0] = 100;
    EXPECT_EQ(CI_PipelineVerify(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineUpdate(pPipeline, CI_UPD_ALL, nullptr), QOV_SUCCESS);
}

// A switch the driver refuses changes nothing: the matrix in use stays in
// use, the other stays idle.
TEST_F(Matrices, RefusedSwitchKeepsTheMatrixInUse)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    const QOV_UINT32 first = filledMatrix(pPipeline, coveringDescription());
    const QOV_UINT32 second = filledMatrix(pPipeline, coveringDescription());
    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, first), QOV_SUCCESS);
    const int pipelineId = intOf(pPipeline)->ui32Identifier;
    for (const QOV_UINT32 id : {second, 0u}) {
        SCOPED_TRACE(id);
        driver->planFault(CI_PIPELINE_CHANGE_LSH, -ETIME);
        {
            LogCapture log;
            EXPECT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, id), QOV_ERROR_TIMEOUT);
            EXPECT_TRUE(loggedError(log.text(), "CI_PipelineUpdateLSHMatrix",
                                    "Failed to update kernel side for LSH matrix " + std::to_string(id) + "!"));
        }
        EXPECT_EQ(intOf(pPipeline)->pMatrix, matrixOf(pPipeline, first));
        EXPECT_EQ(matrixOf(pPipeline, first)->eStatus, INT_BUFFER_PENDING);
        EXPECT_EQ(matrixOf(pPipeline, second)->eStatus, INT_BUFFER_AVAILABLE);
        EXPECT_EQ(driver->pipeline(pipelineId)->matrixInUse, first);
    }
    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, second), QOV_SUCCESS);
    EXPECT_EQ(matrixOf(pPipeline, first)->eStatus, INT_BUFFER_AVAILABLE);
}

TEST_F(Matrices, FailedDeregistrationKeepsTheMatrix)
{
    connect();
    CI_PIPELINE *pPipeline = registered();
    const QOV_UINT32 id = filledMatrix(pPipeline, coveringDescription());
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDeregisterLSHMatrix(pPipeline, 4242), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(CI_PipelineDeregisterLSHMatrix(pPipeline, 0), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDeregisterLSHMatrix",
                                "LSH matrix 4242 not found in userspace buffer list!"));
    }
    driver->planFault(CI_DEREGISTER_BUFF, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDeregisterLSHMatrix(pPipeline, id), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDeregisterLSHMatrix",
                                "Failed to deregister LSH matrix " + std::to_string(id)));
    }
    EXPECT_EQ(CI_PipelineHasLSHBuffers(pPipeline), 1);
    ASSERT_EQ(CI_PipelineUpdateLSHMatrix(pPipeline, id), QOV_SUCCESS);
    // Destroying the pipeline frees the matrix with it.
}

}  // namespace
