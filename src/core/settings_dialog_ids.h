/* Ids of the settings dialog and its controls, shared by the dialog's logic
   and the Windows resource script (so plain macros, no C++). */
#ifndef VELVOX_SETTINGS_DIALOG_IDS_H
#define VELVOX_SETTINGS_DIALOG_IDS_H

#define IDD_VELVOX_SETTINGS 101
#define IDD_VELVOX_MORE_SETTINGS 102 /* every setting added after the first dialog */

#define IDC_VX_CANCEL 1001 /* closes without reading any field */
#define IDC_VX_ADMIN_PASSWORD 1007
#define IDC_VX_ABOUT 1012    /* shows the about box */
#define IDC_VX_DISABLED 1026 /* check box: the plug-in is switched off */
#define IDC_VX_OK 1062       /* takes every field back and closes */
#define IDC_VX_WEBROOT 1063
#define IDC_VX_PORT 1064
#define IDC_VX_PLAYLISTFILE 1065
#define IDC_VX_MAX_REQUESTS_PER_IP 1079
#define IDC_VX_MAX_ENTRIES 1083
#define IDC_VX_MAX_QUEUE_SIZE 1084
#define IDC_VX_MORE 1105 /* opens the second dialog */
/* The second dialog's controls (on the console, fields of the one form). Its
   OK and Cancel are the standard IDOK and IDCANCEL, so Enter and Escape work. */
#define IDC_VX_MAX_REQUESTS_PER_ARTIST 1101
#define IDC_VX_NO_CONSECUTIVE_ARTIST 1102 /* check box */
#define IDC_VX_SONG_COOLDOWN 1103
#define IDC_VX_FAIR_ORDER 1104 /* check box */
#define IDC_VX_SKIP_VOTES 1106
#define IDC_VX_REQUESTS_PER_HOUR 1107
#define IDC_VX_BLOCKED_WORDS 1108
#define IDC_VX_MATCH_ALL_WORDS 1109 /* check box */
#define IDC_VX_HISTORY_SIZE 1110
#define IDC_VX_WAIT_DEADLINE 1111
#define IDC_VX_SEND_TIMEOUT 1112
#define IDC_VX_MAX_CONNECTION_THREADS 1113
#define IDC_VX_MAX_SOCKETS_PER_ADDRESS 1114
#define IDC_VX_MORE_OK 1     /* IDOK: keeps the values for the first dialog's OK */
#define IDC_VX_MORE_CANCEL 2 /* IDCANCEL: closes, the values as they were */

#endif
