#pragma once

// Control ids, by kind: IDB_ buttons, IDX_ check boxes, IDT_ labels,
// IDG_ frames. The comment names each control as the window design does.
#define IDT_STATUS 1001       // 标签3: status line
#define IDT_NOTICE 1002       // 标签2: network notice
#define IDG_SEPARATOR 1003    // 分组框2: thin rule
#define IDT_CREDIT 1004       // 标签1: credit line, opens the home page
#define IDG_OPTIONS 1005      // 分组框1: "选项"
#define IDX_AUTOSTART 1006    // 选择框1: start with Windows
#define IDX_EXIT_AFTER 1007   // 选择框2: exit after a successful calibration
#define IDB_EXIT 1008         // 按钮2: "退出"
#define IDB_CALIBRATE 1009    // 按钮1: "开始校准", the default button

// 时钟1: the retry timer, on the main window itself.
#define ID_RETRY_TIMER 1

// Resources.
#define IDI_VESMOR 1          // the program file's icon
#define IDR_ICON_FILE 101     // the same icon as icon-file bytes
