#include <gtest/gtest.h>

#include <vector>

#include "linkedlist.h"

namespace {

struct Record {
    int value = 0;
    sCell_T cell{};
    Record(int v = 0) : value(v) { cell.object = this; }
};

std::vector<int> values(sLinkedList_T *list)
{
    std::vector<int> out;
    for (sCell_T *c = List_getHead(list); c; c = List_getNext(c))
        out.push_back(static_cast<Record *>(c->object)->value);
    return out;
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(List_init(&list), QOV_SUCCESS); }
    sLinkedList_T list;
};

TEST_F(ListTest, PushFrontAndBackKeepOrderAndCount)
{
    Record a(1), b(2), c(3);
    EXPECT_EQ(List_pushBack(&list, &b.cell), QOV_SUCCESS);
    EXPECT_EQ(List_pushFront(&list, &a.cell), QOV_SUCCESS);
    EXPECT_EQ(List_pushBack(&list, &c.cell), QOV_SUCCESS);
    EXPECT_EQ(values(&list), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(List_nElem(&list), 3u);
    EXPECT_EQ(List_getHead(&list), &a.cell);
    EXPECT_EQ(List_getTail(&list), &c.cell);
    EXPECT_EQ(List_getPrev(&a.cell), nullptr);
    EXPECT_EQ(List_getNext(&c.cell), nullptr);
    EXPECT_EQ(List_getPrev(&c.cell), &b.cell);
    EXPECT_EQ(b.cell.pContainer, &list);
    EXPECT_FALSE(List_isEmpty(&list));
}

TEST_F(ListTest, CellInAListCannotBePushedAgainUntilDetached)
{
    sLinkedList_T other;
    List_init(&other);
    Record a(1);
    ASSERT_EQ(List_pushBack(&list, &a.cell), QOV_SUCCESS);
    EXPECT_EQ(List_pushBack(&other, &a.cell), QOV_ERROR_WRONG_STATE);
    EXPECT_EQ(List_pushFront(&list, &a.cell), QOV_ERROR_WRONG_STATE);
    EXPECT_EQ(List_nElem(&list), 1u);
    EXPECT_EQ(List_nElem(&other), 0u);
    EXPECT_EQ(a.cell.pContainer, &list);

    EXPECT_EQ(List_detach(&a.cell), QOV_SUCCESS);
    EXPECT_EQ(a.cell.pContainer, nullptr);
    EXPECT_EQ(a.cell.pNext, nullptr);
    EXPECT_EQ(List_detach(&a.cell), QOV_ERROR_WRONG_STATE);
    EXPECT_EQ(List_pushBack(&other, &a.cell), QOV_SUCCESS);
    EXPECT_EQ(List_nElem(&other), 1u);
    EXPECT_EQ(List_nElem(&list), 0u);
}

TEST_F(ListTest, NullArguments)
{
    Record a;
    EXPECT_EQ(List_init(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_clear(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_clearObjects(&list, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_pushBack(nullptr, &a.cell), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_pushBack(&list, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_pushBackObject(nullptr, &a), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_detach(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_removeObject(&a.cell, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_popFront(nullptr), nullptr);
    EXPECT_EQ(List_getTail(nullptr), nullptr);
    EXPECT_TRUE(List_isEmpty(nullptr));
    EXPECT_EQ(List_nElem(nullptr), 0u);
    EXPECT_EQ(List_getNext(&a.cell), nullptr);  // in no list
}

TEST_F(ListTest, PopOnEmptyListGivesNullAndKeepsCount)
{
    EXPECT_EQ(List_popFront(&list), nullptr);
    EXPECT_EQ(List_popBack(&list), nullptr);
    EXPECT_EQ(List_nElem(&list), 0u);
    EXPECT_TRUE(List_isEmpty(&list));

    Record a(1), b(2);
    List_pushBack(&list, &a.cell);
    List_pushBack(&list, &b.cell);
    EXPECT_EQ(List_popBack(&list), &b.cell);
    EXPECT_EQ(b.cell.pContainer, nullptr);
    EXPECT_EQ(List_popFront(&list), &a.cell);
    EXPECT_TRUE(List_isEmpty(&list));
}

QOV_BOOL8 detachAll(void *object, void *)
{
    List_detach(&static_cast<Record *>(object)->cell);
    return QOV_TRUE;
}

QOV_BOOL8 stopAt(void *object, void *param)
{
    int wanted = *static_cast<int *>(param);
    int value = static_cast<Record *>(object)->value;
    if (value == wanted)
        return 2;  // any answer but QOV_TRUE stops
    return QOV_TRUE;
}

TEST_F(ListTest, VisitorStopsOnAnyAnswerButTrue)
{
    Record a(1), b(2), c(3);
    List_pushBack(&list, &a.cell);
    List_pushBack(&list, &b.cell);
    List_pushBack(&list, &c.cell);
    int wanted = 2;
    EXPECT_EQ(List_visitor(&list, &wanted, stopAt), &b.cell);
    wanted = 7;
    EXPECT_EQ(List_visitor(&list, &wanted, stopAt), nullptr);
    EXPECT_EQ(List_visitor(&list, &c, ListVisitor_findPointer), &c.cell);
    EXPECT_EQ(List_visitor(&list, nullptr, nullptr), nullptr);
}

TEST_F(ListTest, VisitorMayDetachEveryCell)
{
    Record r[4] = {Record(0), Record(1), Record(2), Record(3)};
    for (Record &x : r)
        List_pushBack(&list, &x.cell);
    EXPECT_EQ(List_visitor(&list, nullptr, detachAll), nullptr);
    EXPECT_TRUE(List_isEmpty(&list));
    for (Record &x : r)
        EXPECT_EQ(x.cell.pContainer, nullptr);
}

int destroyed = 0;
void countingDestructor(void *object)
{
    destroyed++;
    delete static_cast<int *>(object);
}

TEST_F(ListTest, ListAllocatedCellsAreFreedWithTheirObjects)
{
    destroyed = 0;
    ASSERT_EQ(List_pushBackObject(&list, new int(1)), QOV_SUCCESS);
    ASSERT_EQ(List_pushFrontObject(&list, new int(0)), QOV_SUCCESS);
    EXPECT_EQ(*static_cast<int *>(List_getHead(&list)->object), 0);
    EXPECT_EQ(List_removeObject(List_getTail(&list), countingDestructor), QOV_SUCCESS);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(List_clearObjects(&list, countingDestructor), QOV_SUCCESS);
    EXPECT_EQ(destroyed, 2);
    EXPECT_TRUE(List_isEmpty(&list));  // LeakSanitizer checks the cells
}

void *makeInt(void *param) { return new int(*static_cast<int *>(param)); }

TEST_F(ListTest, PoolAllocatesConstructedObjects)
{
    int seed = 5;
    ASSERT_EQ(List_initPool(&list, 3, &seed, makeInt), QOV_SUCCESS);
    EXPECT_EQ(List_nElem(&list), 3u);
    for (sCell_T *c = List_getHead(&list); c; c = List_getNext(c))
        EXPECT_EQ(*static_cast<int *>(c->object), 5);
    destroyed = 0;
    EXPECT_EQ(List_clearObjects(&list, countingDestructor), QOV_SUCCESS);
    EXPECT_EQ(destroyed, 3);

    ASSERT_EQ(List_initPool(&list, 2, nullptr, nullptr), QOV_SUCCESS);
    EXPECT_EQ(List_getHead(&list)->object, nullptr);
    EXPECT_EQ(List_clear(&list), QOV_SUCCESS);
}

// Clearing must never free a cell that lives inside a caller's record.
TEST_F(ListTest, ClearAndRemoveLeaveEmbeddedCellsToTheirRecords)
{
    Record *heap = new Record(1);  // ASan reports a free of an interior pointer
    Record stack(2);
    List_pushBack(&list, &heap->cell);
    List_pushBack(&list, &stack.cell);
    EXPECT_EQ(List_clear(&list), QOV_SUCCESS);
    EXPECT_TRUE(List_isEmpty(&list));
    EXPECT_EQ(heap->cell.pContainer, nullptr);
    EXPECT_EQ(stack.cell.pContainer, nullptr);

    List_pushBack(&list, &heap->cell);
    EXPECT_EQ(List_remove(&heap->cell), QOV_SUCCESS);
    EXPECT_EQ(heap->value, 1);
    EXPECT_EQ(List_pushBack(&list, &heap->cell), QOV_SUCCESS);  // still usable
    List_detach(&heap->cell);
    delete heap;
}

}  // namespace
