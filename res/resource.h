// Resource ids of MigrationTool.exe. Read by the resource compiler and by the C++ sources of both builds,
// so it holds plain #defines only.
#pragma once

// Message catalogue (string table, Japanese). The texts are in Messages.inc.
#define IDS_DOWNLOAD_FAILED                      102
#define IDS_DOWNLOAD_FAILED_LOG                  103
#define IDS_TERMS_DECLINED                       104
#define IDS_TERMS_AGREED                         105
#define IDS_AGENT_NOT_FOUND                      106
#define IDS_AGENT_INSTALLED                      107
#define IDS_MIGRATION_COMPLETE                   108
#define IDS_SETTINGS_FAULTY                      109
#define IDS_MIGRATION_STARTED                    110
#define IDS_TOOL_CAPTION                         111
#define IDS_UNINSTALL_FAILED                     112
#define IDS_VERSION_UNREADABLE                   113
#define IDS_AGENT_UNINSTALLED                    114
#define IDS_URL_NOT_FOUND                        115
#define IDS_INSTALL_FAILED                       116
#define IDS_ALREADY_RUNNING                      117
#define IDS_MIGRATION_COMPLETE_AUTHENTICATED     118
#define IDS_FILE_MISSING                         119
#define IDS_MSI_URL_KEY_MISSING                  120
#define IDS_AGENT_NOT_FOUND_LOG                  122
#define IDS_UNINSTALL_FAILED_LOG                 123
#define IDS_SETTINGS_FAULTY_LOG                  124
#define IDS_URL_NOT_FOUND_LOG                    125
#define IDS_INSTALL_FAILED_LOG                   126
#define IDS_FILE_MISSING_LOG                     127
#define IDS_CONFIRM_SETTINGS                     128
#define IDS_CONFIRMATION_CANCELLED               129
#define IDS_CANCELLED_LOG                        130
// The progress window (both builds: the Linux terminal line shows the same texts).
#define IDS_PROGRESS_CONNECTING                  131
#define IDS_PROGRESS_DOWNLOADING                 132
#define IDS_PROGRESS_RETRYING                    133
#define IDS_PROGRESS_UNINSTALLING                134
#define IDS_PROGRESS_PAUSING                     135
#define IDS_PROGRESS_INSTALLING                  136
#define IDS_PROGRESS_RECEIVED_OF_TOTAL           137
#define IDS_PROGRESS_RECEIVED                    138
#define IDS_PROGRESS_SECONDS_LEFT                139
#define IDS_PROGRESS_DO_NOT_TURN_OFF             140
#define IDS_PROGRESS_CANCEL                      141
#define IDS_PROGRESS_CANCELLING                  142
// The outcome record: a PC migrated already (box and log line), a record that no longer matches the agent, the
// agent this tool installed kept (box and log line).
#define IDS_ALREADY_MIGRATED                     190
#define IDS_ALREADY_MIGRATED_LOG                 191
#define IDS_RECORD_STALE_LOG                     192
#define IDS_RECORDED_AGENT_KEPT                  193
#define IDS_RECORDED_AGENT_KEPT_LOG              194

// The server check program (app/ServerCheck.cpp): its caption, the lines of its report and the reasons a
// step fails.
#define IDS_CHECK_CAPTION                        150
#define IDS_CHECK_SERVER                         151
#define IDS_CHECK_SCRIPT_STEP                    152
#define IDS_CHECK_SCRIPT_OK                      153
#define IDS_CHECK_DOWNLOAD_STEP                  154
#define IDS_CHECK_DOWNLOAD_OK                    155
#define IDS_CHECK_PACKAGE_STEP                   156
#define IDS_CHECK_PACKAGE_OK                     157
#define IDS_CHECK_STEP_FAILED                    158
#define IDS_CHECK_PASSED                         159
#define IDS_CHECK_FAILED                         160
#define IDS_CHECK_NOT_RUN                        161
#define IDS_CHECK_LOG_FILE                       162
#define IDS_CHECK_NO_ANSWER                      163
#define IDS_CHECK_SCRIPT_STATUS                  164
#define IDS_CHECK_NO_PACKAGE_NAMED               165
#define IDS_CHECK_URL_TOO_LONG                   166
#define IDS_CHECK_DOWNLOAD_FAILED                167
#define IDS_CHECK_NOT_A_PACKAGE                  168
#define IDS_CHECK_TABLE_UNREADABLE               169
#define IDS_CHECK_NO_PRODUCT_CODE                170
#define IDS_CHECK_NO_TRANSFORM                   171
#define IDS_CHECK_STREAM_CUT                     172
#define IDS_CHECK_CABINET_MISSING                173
#define IDS_CHECK_PACKAGE_UNUSABLE               174

// Runs started with a command line (app/CommandLineOptions.h): the usage, the refusals, the terms accepted by
// the switch, the settings logged where they cannot be confirmed.
#define IDS_USAGE                                180
#define IDS_USAGE_LOG                            181
#define IDS_TERMS_NOT_ACCEPTED_LOG               182
#define IDS_COMMAND_LINE_REFUSED                 183
#define IDS_COMMAND_LINE_REFUSED_LOG             184
#define IDS_TERMS_ACCEPTED_BY_SWITCH             185
#define IDS_SETTINGS_LOGGED                      186
#define IDS_NO_VISIBLE_DESKTOP_LOG               187
// An interrupted replacement: the journal kept for the next start, and the finishing step's outcomes.
#define IDS_FINISH_FOUND                         200
#define IDS_FINISH_KEPT_FOR_NEXT_START           201
#define IDS_FINISH_FOUND_NEW_AGENT               202
#define IDS_FINISH_FOUND_OLD_AGENT               203
#define IDS_FINISH_INSTALLING                    204
#define IDS_FINISH_COMPLETE                      205
#define IDS_FINISH_INSTALL_FAILED                206
#define IDS_FINISH_GIVEN_UP                      207
#define IDS_FINISH_REFUSED                       208
#define IDS_FINISH_REFUSED_AGENT                 209
#define IDS_FINISH_TASK_RUN                      210
#define IDS_FINISH_NOTHING                       211

// Terms-of-use dialog and its controls.
#define IDD_LICENSE                              117
#define IDC_LICENSE_TEXT                         1001
#define IDC_AGREE                                1002
#define IDC_DISAGREE                             1003
// The progress window and its controls; its Cancel button is IDCANCEL.
#define IDD_PROGRESS                             120
#define IDC_PROGRESS_STEP                        1011
#define IDC_PROGRESS_BAR                         1012
#define IDC_PROGRESS_DETAIL                      1013

// Side banner of the terms dialog, and the executable's icon group.
#define IDB_BANNER                               119
#define IDI_MIGRATION_TOOL                       115
