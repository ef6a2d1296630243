// Intrusive circular doubly linked list with an anchor cell.
//
// Cells are normally embedded in the records they link; the list never owns
// those. Cells that the list allocates itself (the *Object and pool
// operations) are marked so, and only those are ever freed by the list.
#ifndef LINKEDLIST_H
#define LINKEDLIST_H

#include "qov_types.h"

struct sLinkedList_T;

typedef struct sCell_T {
    void *object;                   // the record this cell stands for
    struct sCell_T *pNext;
    struct sCell_T *pPrev;
    struct sLinkedList_T *pContainer;  // list holding the cell, null when free
    QOV_BOOL8 bListOwned;           // allocated by the list: the list frees it
} sCell_T;

typedef struct sLinkedList_T {
    sCell_T sAnchor;  // sAnchor.pNext is the head, sAnchor.pPrev the tail
    QOV_UINT32 ui32Elements;
} sLinkedList_T;

typedef QOV_BOOL8 (*ListVisitorFn)(void *object, void *param);
typedef void (*ListDestructorFn)(void *object);
typedef void *(*ListConstructorFn)(void *param);

QOV_RESULT List_init(sLinkedList_T *pList);
QOV_RESULT List_clear(sLinkedList_T *pList);
QOV_RESULT List_clearObjects(sLinkedList_T *pList, ListDestructorFn pfnDestructor);

QOV_RESULT List_pushBack(sLinkedList_T *pList, sCell_T *pCell);
QOV_RESULT List_pushFront(sLinkedList_T *pList, sCell_T *pCell);
QOV_RESULT List_pushBackObject(sLinkedList_T *pList, void *elem);
QOV_RESULT List_pushFrontObject(sLinkedList_T *pList, void *elem);
QOV_RESULT List_initPool(sLinkedList_T *pList, QOV_UINT32 ui32nelem, void *param,
                         ListConstructorFn pfnConstructor);

QOV_RESULT List_detach(sCell_T *pCell);
QOV_RESULT List_remove(sCell_T *pCell);
QOV_RESULT List_removeObject(sCell_T *pCell, ListDestructorFn pfnDestructor);

sCell_T *List_popFront(sLinkedList_T *pList);
sCell_T *List_popBack(sLinkedList_T *pList);
sCell_T *List_getHead(sLinkedList_T *pList);
sCell_T *List_getTail(sLinkedList_T *pList);
sCell_T *List_getNext(sCell_T *pCell);
sCell_T *List_getPrev(sCell_T *pCell);

QOV_BOOL8 List_isEmpty(sLinkedList_T *pList);
QOV_UINT32 List_nElem(sLinkedList_T *pList);

sCell_T *List_visitor(sLinkedList_T *pList, void *param, ListVisitorFn pfnVisitor);
QOV_BOOL8 ListVisitor_findPointer(void *listElem, void *lookingFor);

#endif
