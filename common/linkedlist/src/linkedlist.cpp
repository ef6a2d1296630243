#include "linkedlist.h"

#include <cstdlib>

namespace {

void resetCell(sCell_T *pCell)
{
    pCell->pNext = nullptr;
    pCell->pPrev = nullptr;
    pCell->pContainer = nullptr;
}

void makeEmpty(sLinkedList_T *pList)
{
    pList->sAnchor.object = nullptr;
    pList->sAnchor.pNext = &pList->sAnchor;
    pList->sAnchor.pPrev = &pList->sAnchor;
    pList->sAnchor.pContainer = nullptr;
    pList->sAnchor.bListOwned = QOV_FALSE;
    pList->ui32Elements = 0;
}

// Links pCell between two neighbouring cells of pList.
void insertBetween(sLinkedList_T *pList, sCell_T *pCell, sCell_T *pPrev, sCell_T *pNext)
{
    pCell->pPrev = pPrev;
    pCell->pNext = pNext;
    pPrev->pNext = pCell;
    pNext->pPrev = pCell;
    pCell->pContainer = pList;
    pList->ui32Elements++;
}

QOV_RESULT push(sLinkedList_T *pList, sCell_T *pCell, bool front)
{
    if (!pList || !pCell)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (pCell->pContainer)
        return QOV_ERROR_WRONG_STATE;
    if (front)
        insertBetween(pList, pCell, &pList->sAnchor, pList->sAnchor.pNext);
    else
        insertBetween(pList, pCell, pList->sAnchor.pPrev, &pList->sAnchor);
    return QOV_SUCCESS;
}

QOV_RESULT pushObject(sLinkedList_T *pList, void *elem, bool front)
{
    if (!pList)
        return QOV_ERROR_INVALID_ARGUMENT;
    sCell_T *pCell = static_cast<sCell_T *>(calloc(1, sizeof(sCell_T)));
    if (!pCell)
        return QOV_ERROR_NO_MEMORY;
    pCell->object = elem;
    pCell->bListOwned = QOV_TRUE;
    QOV_RESULT ret = push(pList, pCell, front);
    if (ret != QOV_SUCCESS)
        free(pCell);
    return ret;
}

// Frees a cell the list allocated; a cell embedded in a record is left alone.
void releaseCell(sCell_T *pCell)
{
    if (pCell->bListOwned)
        free(pCell);
}

void clearCells(sLinkedList_T *pList, ListDestructorFn pfnDestructor)
{
    sCell_T *pCell = pList->sAnchor.pNext;
    while (pCell != &pList->sAnchor) {
        sCell_T *pNext = pCell->pNext;
        void *object = pCell->object;
        resetCell(pCell);
        releaseCell(pCell);  // before the destructor: an embedded cell dies with its record
        if (pfnDestructor)
            pfnDestructor(object);
        pCell = pNext;
    }
    makeEmpty(pList);
}

sCell_T *neighbour(sCell_T *pCell, bool next)
{
    if (!pCell || !pCell->pContainer)
        return nullptr;
    sCell_T *pOther = next ? pCell->pNext : pCell->pPrev;
    return pOther == &pCell->pContainer->sAnchor ? nullptr : pOther;
}

}  // namespace

QOV_RESULT List_init(sLinkedList_T *pList)
{
    if (!pList)
        return QOV_ERROR_INVALID_ARGUMENT;
    makeEmpty(pList);
    return QOV_SUCCESS;
}

QOV_RESULT List_clear(sLinkedList_T *pList)
{
    if (!pList)
        return QOV_ERROR_INVALID_ARGUMENT;
    clearCells(pList, nullptr);
    return QOV_SUCCESS;
}

QOV_RESULT List_clearObjects(sLinkedList_T *pList, ListDestructorFn pfnDestructor)
{
    if (!pList || !pfnDestructor)
        return QOV_ERROR_INVALID_ARGUMENT;
    clearCells(pList, pfnDestructor);
    return QOV_SUCCESS;
}

QOV_RESULT List_pushBack(sLinkedList_T *pList, sCell_T *pCell) { return push(pList, pCell, false); }

QOV_RESULT List_pushFront(sLinkedList_T *pList, sCell_T *pCell) { return push(pList, pCell, true); }

QOV_RESULT List_pushBackObject(sLinkedList_T *pList, void *elem)
{
    return pushObject(pList, elem, false);
}

QOV_RESULT List_pushFrontObject(sLinkedList_T *pList, void *elem)
{
    return pushObject(pList, elem, true);
}

QOV_RESULT List_initPool(sLinkedList_T *pList, QOV_UINT32 ui32nelem, void *param,
                         ListConstructorFn pfnConstructor)
{
    QOV_RESULT ret = List_init(pList);
    for (QOV_UINT32 i = 0; ret == QOV_SUCCESS && i < ui32nelem; i++)
        ret = List_pushBackObject(pList, pfnConstructor ? pfnConstructor(param) : nullptr);
    return ret;
}

QOV_RESULT List_detach(sCell_T *pCell)
{
    if (!pCell)
        return QOV_ERROR_INVALID_ARGUMENT;
    sLinkedList_T *pList = pCell->pContainer;
    if (!pList)
        return QOV_ERROR_WRONG_STATE;
    pCell->pPrev->pNext = pCell->pNext;
    pCell->pNext->pPrev = pCell->pPrev;
    pList->ui32Elements--;
    resetCell(pCell);
    return QOV_SUCCESS;
}

QOV_RESULT List_remove(sCell_T *pCell)
{
    QOV_RESULT ret = List_detach(pCell);
    if (ret == QOV_SUCCESS)
        releaseCell(pCell);
    return ret;
}

QOV_RESULT List_removeObject(sCell_T *pCell, ListDestructorFn pfnDestructor)
{
    if (!pCell || !pfnDestructor)
        return QOV_ERROR_INVALID_ARGUMENT;
    void *object = pCell->object;
    QOV_RESULT ret = List_remove(pCell);
    if (ret == QOV_SUCCESS)
        pfnDestructor(object);
    return ret;
}

sCell_T *List_popFront(sLinkedList_T *pList)
{
    sCell_T *pCell = List_getHead(pList);
    if (pCell)
        List_detach(pCell);
    return pCell;
}

sCell_T *List_popBack(sLinkedList_T *pList)
{
    sCell_T *pCell = List_getTail(pList);
    if (pCell)
        List_detach(pCell);
    return pCell;
}

sCell_T *List_getHead(sLinkedList_T *pList)
{
    if (!pList || pList->ui32Elements == 0)
        return nullptr;
    return pList->sAnchor.pNext;
}

sCell_T *List_getTail(sLinkedList_T *pList)
{
    if (!pList || pList->ui32Elements == 0)
        return nullptr;
    return pList->sAnchor.pPrev;
}

sCell_T *List_getNext(sCell_T *pCell) { return neighbour(pCell, true); }

sCell_T *List_getPrev(sCell_T *pCell) { return neighbour(pCell, false); }

QOV_BOOL8 List_isEmpty(sLinkedList_T *pList)
{
    return (!pList || pList->ui32Elements == 0) ? QOV_TRUE : QOV_FALSE;
}

QOV_UINT32 List_nElem(sLinkedList_T *pList) { return pList ? pList->ui32Elements : 0; }

sCell_T *List_visitor(sLinkedList_T *pList, void *param, ListVisitorFn pfnVisitor)
{
    if (!pList || !pfnVisitor)
        return nullptr;
    sCell_T *pCell = pList->sAnchor.pNext;
    while (pCell != &pList->sAnchor) {
        // Read the next cell first: the visitor may detach or free this one.
        sCell_T *pNext = pCell->pNext;
        if (pfnVisitor(pCell->object, param) != QOV_TRUE)
            return pCell;
        pCell = pNext;
    }
    return nullptr;
}

QOV_BOOL8 ListVisitor_findPointer(void *listElem, void *lookingFor)
{
    return listElem != lookingFor ? QOV_TRUE : QOV_FALSE;
}
