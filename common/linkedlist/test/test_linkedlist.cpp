#include <gtest/gtest.h>

#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "linkedlist.h"

namespace {

struct Record {
    int value = 0;
    sCell_T cell{};
    Record(int v = 0) : value(v) { cell.object = this; }
};

int destroyed = 0;
void countingDestructor(void *object)
{
    destroyed++;
    delete static_cast<int *>(object);
}
void countOnly(void *) { destroyed++; }

std::vector<int> values(sLinkedList_T *list)
{
    std::vector<int> out;
    for (sCell_T *c = List_getHead(list); c; c = List_getNext(c))
        out.push_back(static_cast<Record *>(c->object)->value);
    return out;
}

// Checks the ring both ways against the expected cells, head to tail: every
// cell linked to its neighbours, owned by the list, and the count right.
void expectRing(sLinkedList_T *list, const std::vector<sCell_T *> &cells)
{
    ASSERT_EQ(List_nElem(list), cells.size());
    const sCell_T *anchor = &list->sAnchor;
    const sCell_T *c = anchor->pNext;
    for (sCell_T *expected : cells) {
        ASSERT_EQ(c, expected);
        EXPECT_EQ(c->pContainer, list);
        EXPECT_EQ(c->pNext->pPrev, c);
        c = c->pNext;
    }
    EXPECT_EQ(c, anchor);
    c = anchor->pPrev;
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
        ASSERT_EQ(c, *it);
        c = c->pPrev;
    }
    EXPECT_EQ(c, anchor);
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
    expectRing(&list, {&a.cell, &b.cell, &c.cell});
    EXPECT_EQ(List_getHead(&list), &a.cell);
    EXPECT_EQ(List_getTail(&list), &c.cell);
    EXPECT_EQ(List_getPrev(&a.cell), nullptr);
    EXPECT_EQ(List_getNext(&c.cell), nullptr);
    EXPECT_EQ(List_getPrev(&c.cell), &b.cell);
    EXPECT_EQ(b.cell.pContainer, &list);
    EXPECT_FALSE(List_isEmpty(&list));
}

TEST_F(ListTest, DetachRelinksTheNeighboursWhereverTheCellSits)
{
    // Head, middle and tail: each detach leaves a consistent ring.
    const struct {
        int index;
        std::vector<int> left;
    } cases[] = {{0, {1, 2}}, {1, {0, 2}}, {2, {0, 1}}};
    for (const auto &c : cases) {
        Record r[3] = {Record(0), Record(1), Record(2)};
        sLinkedList_T ring;
        List_init(&ring);
        for (Record &x : r)
            List_pushBack(&ring, &x.cell);
        EXPECT_EQ(List_detach(&r[c.index].cell), QOV_SUCCESS);
        expectRing(&ring, {&r[c.left[0]].cell, &r[c.left[1]].cell});
        EXPECT_EQ(r[c.index].cell.pContainer, nullptr);
        EXPECT_EQ(r[c.index].cell.pPrev, nullptr);
        EXPECT_EQ(r[c.index].cell.pNext, nullptr);
        EXPECT_EQ(r[c.index].cell.object, &r[c.index]);  // the object link stays
    }
}

TEST_F(ListTest, CellInAListCannotBePushedAgainUntilDetached)
{
    sLinkedList_T other;
    List_init(&other);
    Record a(1);
    ASSERT_EQ(List_pushBack(&list, &a.cell), QOV_SUCCESS);
    EXPECT_EQ(List_pushBack(&other, &a.cell), QOV_ERROR_WRONG_STATE);
    EXPECT_EQ(List_pushFront(&list, &a.cell), QOV_ERROR_WRONG_STATE);
    expectRing(&list, {&a.cell});
    expectRing(&other, {});
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
    EXPECT_EQ(List_clearObjects(nullptr, countOnly), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_initPool(nullptr, 2, nullptr, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_remove(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_removeObject(nullptr, countOnly), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_pushFront(&list, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_pushFrontObject(nullptr, &a), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_pushBack(nullptr, &a.cell), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_pushBack(&list, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_pushBackObject(nullptr, &a), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_detach(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_removeObject(&a.cell, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(List_popFront(nullptr), nullptr);
    EXPECT_EQ(List_popBack(nullptr), nullptr);
    EXPECT_EQ(List_getHead(nullptr), nullptr);
    EXPECT_EQ(List_getTail(nullptr), nullptr);
    EXPECT_EQ(List_getHead(&list), nullptr);
    EXPECT_EQ(List_getTail(&list), nullptr);
    EXPECT_EQ(List_getNext(nullptr), nullptr);
    EXPECT_EQ(List_getPrev(nullptr), nullptr);
    EXPECT_EQ(List_visitor(nullptr, nullptr, ListVisitor_findPointer), nullptr);
    EXPECT_TRUE(List_isEmpty(nullptr));
    EXPECT_EQ(List_nElem(nullptr), 0u);
    EXPECT_EQ(List_getNext(&a.cell), nullptr);  // in no list
    EXPECT_EQ(List_getPrev(&a.cell), nullptr);
    EXPECT_EQ(List_remove(&a.cell), QOV_ERROR_WRONG_STATE);
    destroyed = 0;
    EXPECT_EQ(List_removeObject(&a.cell, countOnly), QOV_ERROR_WRONG_STATE);
    EXPECT_EQ(destroyed, 0);  // nothing removed, nothing destroyed
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

// Detaches and destroys the visited record: the visit must not touch it again.
QOV_BOOL8 detachAndDelete(void *object, void *)
{
    Record *record = static_cast<Record *>(object);
    List_detach(&record->cell);
    delete record;
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

TEST_F(ListTest, VisitorMayDetachAndFreeEveryCell)
{
    for (int i = 0; i < 4; i++)
        List_pushBack(&list, &(new Record(i))->cell);
    EXPECT_EQ(List_visitor(&list, nullptr, detachAndDelete), nullptr);  // ASan: no use after free
    expectRing(&list, {});
}

void deleteRecord(void *object)
{
    destroyed++;
    delete static_cast<Record *>(object);
}

// The usual teardown of a list of records: the destructor frees the record
// that embeds the cell, so the list must be done with the cell before.
TEST_F(ListTest, ClearObjectsDestroysRecordsThatEmbedTheirCells)
{
    destroyed = 0;
    for (int i = 0; i < 3; i++)
        List_pushBack(&list, &(new Record(i))->cell);
    EXPECT_EQ(List_clearObjects(&list, deleteRecord), QOV_SUCCESS);
    EXPECT_EQ(destroyed, 3);
    expectRing(&list, {});

    Record *one = new Record(7);
    List_pushBack(&list, &one->cell);
    EXPECT_EQ(List_removeObject(&one->cell, deleteRecord), QOV_SUCCESS);
    EXPECT_EQ(destroyed, 4);
    expectRing(&list, {});
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
void *makeNext(void *param) { return new int(++*static_cast<int *>(param)); }

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

    // Objects are appended in the order they are constructed.
    int counter = 0;
    ASSERT_EQ(List_initPool(&list, 3, &counter, makeNext), QOV_SUCCESS);
    std::vector<int> order;
    for (sCell_T *c = List_getHead(&list); c; c = List_getNext(c))
        order.push_back(*static_cast<int *>(c->object));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(List_clearObjects(&list, countingDestructor), QOV_SUCCESS);
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

#if defined(__GLIBC__)
// Bytes the allocator has handed out and not got back (chunks it keeps in its
// per-thread cache for reuse still count).
long bytesInUse() { return static_cast<long>(mallinfo2().uordblks); }

// Every way a list lets go of its cells gives back what it allocated for them.
TEST_F(ListTest, ReleasedCellsGoBackToTheAllocator)
{
    struct Case {
        const char *how;
        void (*release)(sLinkedList_T *);
    };
    const Case cases[] = {
        {"clear", [](sLinkedList_T *l) { List_clear(l); }},
        {"clear objects", [](sLinkedList_T *l) { List_clearObjects(l, countOnly); }},
        {"remove", [](sLinkedList_T *l) { while (List_getHead(l)) List_remove(List_getHead(l)); }},
        {"remove objects",
         [](sLinkedList_T *l) { while (List_getHead(l)) List_removeObject(List_getTail(l), countOnly); }},
    };
    for (const auto &c : cases) {
        const long before = bytesInUse();
        ASSERT_EQ(List_initPool(&list, 64, nullptr, nullptr), QOV_SUCCESS);
        ASSERT_EQ(List_pushFrontObject(&list, nullptr), QOV_SUCCESS);
        const long held = bytesInUse() - before;
        if (held <= 0)
            GTEST_SKIP() << "cells come from another allocator (a sanitizer's)";
        c.release(&list);
        // The allocator caches a few freed chunks; a leak keeps them all.
        EXPECT_LT(bytesInUse() - before, held / 4) << c.how;
        EXPECT_TRUE(List_isEmpty(&list)) << c.how;
    }
}
#endif

}  // namespace
