#ifndef KDX_MAIL_MAPITYPES_H
#define KDX_MAIL_MAPITYPES_H
/* The Simple MAPI interface: the published structures, constants and entry-point types, laid out
 * as on 64-bit Windows (ULONG a 32-bit unsigned integer, handles and ULONG_PTR pointer-sized).
 * Shared by the program (which calls a client library) and by the Linux provider library (which
 * is one). Plain C so that a provider can be written in either language. All texts are 8-bit,
 * zero-terminated, in the system code page (cp1250 here). */

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define KDX_MAPI_CALL __stdcall
#else
#define KDX_MAPI_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t KdxMapiUlong;     /* ULONG */
typedef KdxMapiUlong KdxMapiFlags; /* FLAGS */
typedef uintptr_t KdxMapiUlongPtr; /* ULONG_PTR */
typedef uintptr_t KdxMapiLhandle;  /* LHANDLE */

typedef struct MapiRecipDesc {
  KdxMapiUlong ulReserved;   /* 0 */
  KdxMapiUlong ulRecipClass; /* MAPI_ORIG, MAPI_TO, MAPI_CC or MAPI_BCC */
  char* lpszName;            /* display name */
  char* lpszAddress;         /* "TYPE:address", e.g. "SMTP:someone@example.com"; may be null */
  KdxMapiUlong ulEIDSize;    /* size of lpEntryID */
  void* lpEntryID;           /* client-specific recipient id; null here */
} MapiRecipDesc;

typedef struct MapiFileDesc {
  KdxMapiUlong ulReserved; /* 0 */
  KdxMapiUlong flFlags;    /* MAPI_OLE, MAPI_OLE_STATIC or 0 for a data file */
  KdxMapiUlong nPosition;  /* character position in the note text; 0xFFFFFFFF for none */
  char* lpszPathName;      /* full path of the file */
  char* lpszFileName;      /* name shown to the recipient; null for the file's own name */
  void* lpFileType;        /* MapiFileTagExt; null */
} MapiFileDesc;

typedef struct MapiMessage {
  KdxMapiUlong ulReserved;  /* 0 */
  char* lpszSubject;        /* subject, may be empty */
  char* lpszNoteText;       /* body, may be empty */
  char* lpszMessageType;    /* null for an interpersonal message */
  char* lpszDateReceived;   /* "YYYY/MM/DD HH:MM"; null when sending */
  char* lpszConversationID; /* null */
  KdxMapiFlags flFlags;     /* MAPI_UNREAD, MAPI_RECEIPT_REQUESTED, MAPI_SENT */
  MapiRecipDesc* lpOriginator;
  KdxMapiUlong nRecipCount;
  MapiRecipDesc* lpRecips;
  KdxMapiUlong nFileCount;
  MapiFileDesc* lpFiles;
} MapiMessage;

/* Recipient classes. */
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

/* Flags of the calls. */
#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_DIALOG 0x00000008
#define MAPI_FORCE_DOWNLOAD 0x00001000
#define MAPI_UNREAD 0x00000001
#define MAPI_RECEIPT_REQUESTED 0x00000002
#define MAPI_SENT 0x00000004
#define MAPI_OLE 0x00000001
#define MAPI_OLE_STATIC 0x00000002

/* Result codes. */
#define SUCCESS_SUCCESS 0
#define MAPI_USER_ABORT 1
#define MAPI_E_FAILURE 2
#define MAPI_E_LOGON_FAILURE 3
#define MAPI_E_DISK_FULL 4
#define MAPI_E_INSUFFICIENT_MEMORY 5
#define MAPI_E_ACCESS_DENIED 6
#define MAPI_E_TOO_MANY_SESSIONS 8
#define MAPI_E_TOO_MANY_FILES 9
#define MAPI_E_TOO_MANY_RECIPIENTS 10
#define MAPI_E_ATTACHMENT_NOT_FOUND 11
#define MAPI_E_ATTACHMENT_OPEN_FAILURE 12
#define MAPI_E_ATTACHMENT_WRITE_FAILURE 13
#define MAPI_E_UNKNOWN_RECIPIENT 14
#define MAPI_E_BAD_RECIPTYPE 15
#define MAPI_E_NO_MESSAGES 16
#define MAPI_E_INVALID_MESSAGE 17
#define MAPI_E_TEXT_TOO_LARGE 18
#define MAPI_E_INVALID_SESSION 19
#define MAPI_E_TYPE_NOT_SUPPORTED 20
#define MAPI_E_AMBIGUOUS_RECIPIENT 21
#define MAPI_E_MESSAGE_IN_USE 22
#define MAPI_E_NETWORK_FAILURE 23
#define MAPI_E_INVALID_EDITFIELDS 24
#define MAPI_E_INVALID_RECIPS 25
#define MAPI_E_NOT_SUPPORTED 26

/* The twelve entry points. */
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPIADDRESS)(KdxMapiLhandle lhSession,
                                                   KdxMapiUlongPtr ulUIParam, char* lpszCaption,
                                                   KdxMapiUlong nEditFields, char* lpszLabels,
                                                   KdxMapiUlong nRecips, MapiRecipDesc* lpRecips,
                                                   KdxMapiFlags flFlags, KdxMapiUlong ulReserved,
                                                   KdxMapiUlong* lpnNewRecips,
                                                   MapiRecipDesc** lppNewRecips);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPIDELETEMAIL)(KdxMapiLhandle lhSession,
                                                      KdxMapiUlongPtr ulUIParam,
                                                      char* lpszMessageID, KdxMapiFlags flFlags,
                                                      KdxMapiUlong ulReserved);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPIDETAILS)(KdxMapiLhandle lhSession,
                                                   KdxMapiUlongPtr ulUIParam,
                                                   MapiRecipDesc* lpRecip, KdxMapiFlags flFlags,
                                                   KdxMapiUlong ulReserved);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPIFINDNEXT)(KdxMapiLhandle lhSession,
                                                    KdxMapiUlongPtr ulUIParam,
                                                    char* lpszMessageType, char* lpszSeedMessageID,
                                                    KdxMapiFlags flFlags, KdxMapiUlong ulReserved,
                                                    char* lpszMessageID);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPIFREEBUFFER)(void* pv);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPILOGOFF)(KdxMapiLhandle lhSession,
                                                  KdxMapiUlongPtr ulUIParam, KdxMapiFlags flFlags,
                                                  KdxMapiUlong ulReserved);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPILOGON)(KdxMapiUlongPtr ulUIParam, char* lpszProfileName,
                                                 char* lpszPassword, KdxMapiFlags flFlags,
                                                 KdxMapiUlong ulReserved,
                                                 KdxMapiLhandle* lplhSession);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPIREADMAIL)(KdxMapiLhandle lhSession,
                                                    KdxMapiUlongPtr ulUIParam, char* lpszMessageID,
                                                    KdxMapiFlags flFlags, KdxMapiUlong ulReserved,
                                                    MapiMessage** lppMessage);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPIRESOLVENAME)(KdxMapiLhandle lhSession,
                                                       KdxMapiUlongPtr ulUIParam, char* lpszName,
                                                       KdxMapiFlags flFlags,
                                                       KdxMapiUlong ulReserved,
                                                       MapiRecipDesc** lppRecip);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPISAVEMAIL)(KdxMapiLhandle lhSession,
                                                    KdxMapiUlongPtr ulUIParam,
                                                    MapiMessage* lpMessage, KdxMapiFlags flFlags,
                                                    KdxMapiUlong ulReserved, char* lpszMessageID);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPISENDDOCUMENTS)(KdxMapiUlongPtr ulUIParam,
                                                         char* lpszDelimChar, char* lpszFilePaths,
                                                         char* lpszFileNames,
                                                         KdxMapiUlong ulReserved);
typedef KdxMapiUlong(KDX_MAPI_CALL* LPMAPISENDMAIL)(KdxMapiLhandle lhSession,
                                                    KdxMapiUlongPtr ulUIParam,
                                                    MapiMessage* lpMessage, KdxMapiFlags flFlags,
                                                    KdxMapiUlong ulReserved);

#ifdef __cplusplus
}
#endif

#endif /* KDX_MAIL_MAPITYPES_H */
