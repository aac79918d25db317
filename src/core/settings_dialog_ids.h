/* Ids of the settings dialog and its controls, shared by the dialog's logic
   and the Windows resource script (so plain macros, no C++). */
#ifndef VELVOX_SETTINGS_DIALOG_IDS_H
#define VELVOX_SETTINGS_DIALOG_IDS_H

#define IDD_VELVOX_SETTINGS 101

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
/* Shown by the console form only; the Windows dialog has no such controls. */
#define IDC_VX_MAX_REQUESTS_PER_ARTIST 1101
#define IDC_VX_NO_CONSECUTIVE_ARTIST 1102 /* check box */
#define IDC_VX_SONG_COOLDOWN 1103
#define IDC_VX_FAIR_ORDER 1104 /* check box */

#endif
