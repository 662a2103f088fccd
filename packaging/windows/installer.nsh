; What the installer adds beyond its files and Start-menu entries, and what
; its uninstaller takes away again: the .bfw file type (opening a package in
; Explorer starts the updater with it) and, when the user says yes, the
; folder of brevik.exe on the user's PATH. The uninstaller removes only what
; this installer added; what it replaced it puts back.
;
; The PATH offer is a question on an interactive install; a silent install
; (/S) adds nothing unless /PATH is given.

!define BREVIK_FILE_TYPE "Brevik.FirmwarePackage"
; What the uninstaller needs to know: the PATH entry added and whether the
; PATH value was made by us (in HKCU, as PATH is the user's), and the .bfw
; type replaced (beside the type, in SHCTX: HKLM for an all-users install,
; whoever uninstalls it).
!define BREVIK_MARKS "Software\Brevik\Installer"
; NSIS strings hold 1024 characters: a longer PATH cannot be read whole, and
; writing back a shorter one would lose the user's entries.
!define BREVIK_LONGEST_PATH 1000

Function BrevikAddFileType
    ReadRegStr $0 SHCTX "Software\Classes\.bfw" ""
    StrCmp $0 "" type_taken
    StrCmp $0 "${BREVIK_FILE_TYPE}" 0 type_replaced
        ; Installed over an earlier version, which kept the mark in HKCU.
        ReadRegStr $0 HKCU "${BREVIK_MARKS}" "ReplacedFileType"
        StrCmp $0 "" type_taken
        DeleteRegValue HKCU "${BREVIK_MARKS}" "ReplacedFileType"
    type_replaced:
        WriteRegStr SHCTX "${BREVIK_MARKS}" "ReplacedFileType" "$0"
    type_taken:
    WriteRegStr SHCTX "Software\Classes\.bfw" "" "${BREVIK_FILE_TYPE}"
    WriteRegStr SHCTX "Software\Classes\${BREVIK_FILE_TYPE}" "" "Brevik firmware package"
    WriteRegStr SHCTX "Software\Classes\${BREVIK_FILE_TYPE}\shell\open\command" "" \
        '"$INSTDIR\bin\brevik-updater.exe" "%1"'
    ; SHCNE_ASSOCCHANGED: Explorer picks up the new type at once.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
FunctionEnd

Function un.BrevikRemoveFileType
    DeleteRegKey SHCTX "Software\Classes\${BREVIK_FILE_TYPE}"
    ReadRegStr $0 SHCTX "Software\Classes\.bfw" ""
    StrCmp $0 "${BREVIK_FILE_TYPE}" 0 type_done
    ReadRegStr $1 SHCTX "${BREVIK_MARKS}" "ReplacedFileType"
    StrCmp $1 "" 0 type_restore
        DeleteRegValue SHCTX "Software\Classes\.bfw" ""
        DeleteRegKey /ifempty SHCTX "Software\Classes\.bfw"
        Goto type_done
    type_restore:
        WriteRegStr SHCTX "Software\Classes\.bfw" "" "$1"
    type_done:
    DeleteRegValue SHCTX "${BREVIK_MARKS}" "ReplacedFileType"
    DeleteRegKey /ifempty SHCTX "${BREVIK_MARKS}"
    DeleteRegKey /ifempty SHCTX "Software\Brevik"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
FunctionEnd

; Writes $1 as the user's PATH with the type the value has: REG_SZ stays
; REG_SZ (rewritten as REG_EXPAND_SZ, a "%" in an entry would start to
; expand); a new value is REG_EXPAND_SZ, as Windows makes it.
!macro BREVIK_PATH_FUNCTIONS un
Function ${un}BrevikWritePath
    Push $2
    Push $3
    Push $4
    StrCpy $4 0
    ; HKEY_CURRENT_USER, KEY_READ
    System::Call 'advapi32::RegOpenKeyExW(p 0x80000001, w "Environment", i 0, i 0x20019, *p .r2) i .r3'
    IntCmp $3 0 0 path_type_known path_type_known
    System::Call 'advapi32::RegQueryValueExW(p r2, w "Path", p 0, *i .r4, p 0, p 0) i .r3'
    System::Call 'advapi32::RegCloseKey(p r2)'
    IntCmp $3 0 path_type_known
        StrCpy $4 0
    path_type_known:
    IntCmp $4 1 0 path_expand path_expand
        WriteRegStr HKCU "Environment" "Path" "$1"
        Goto path_type_done
    path_expand:
        WriteRegExpandStr HKCU "Environment" "Path" "$1"
    path_type_done:
    Pop $4
    Pop $3
    Pop $2
FunctionEnd

; $0: 1 when HKCU\Environment has a value named Path (ReadRegStr alone
; cannot tell a missing value from one too long to read).
Function ${un}BrevikPathValueExists
    Push $1
    Push $2
    StrCpy $0 0
    StrCpy $1 0
    exists_loop:
        ClearErrors
        EnumRegValue $2 HKCU "Environment" $1
        IfErrors exists_done
        StrCmp $2 "Path" 0 +3
            StrCpy $0 1
            Goto exists_done
        IntOp $1 $1 + 1
        Goto exists_loop
    exists_done:
    Pop $2
    Pop $1
FunctionEnd
!macroend
!insertmacro BREVIK_PATH_FUNCTIONS ""
!insertmacro BREVIK_PATH_FUNCTIONS "un."

Function BrevikOfferPath
    Push $CMDLINE
    Push " /PATH"
    Call StrStr
    Pop $0
    StrCmp $0 "" 0 path_add
    IfSilent path_done
    MessageBox MB_YESNO|MB_ICONQUESTION \
        "Add $INSTDIR\bin to your PATH, so that a command prompt finds brevik?" \
        /SD IDNO IDNO path_done
    path_add:
    ClearErrors
    ReadRegStr $1 HKCU "Environment" "Path"
    IfErrors 0 path_read
        Call BrevikPathValueExists
        StrCmp $0 1 path_too_long
        WriteRegExpandStr HKCU "Environment" "Path" "$INSTDIR\bin"
        WriteRegStr HKCU "${BREVIK_MARKS}" "PathCreated" "1"
        Goto path_added
    path_read:
    Push ";$1;"
    Push ";$INSTDIR\bin;"
    Call StrStr
    Pop $0
    StrCmp $0 "" 0 path_done
    StrLen $2 "$1;$INSTDIR\bin"
    IntCmp $2 ${BREVIK_LONGEST_PATH} 0 0 path_too_long
    StrCmp $1 "" 0 +3
        StrCpy $1 "$INSTDIR\bin"
        Goto path_write
    StrCpy $2 $1 1 -1
    StrCmp $2 ";" 0 +2
        StrCpy $1 $1 -1
    StrCpy $1 "$1;$INSTDIR\bin"
    path_write:
    Call BrevikWritePath
    path_added:
    WriteRegStr HKCU "${BREVIK_MARKS}" "PathEntry" "$INSTDIR\bin"
    SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
    Goto path_done
    path_too_long:
    MessageBox MB_OK|MB_ICONEXCLAMATION \
        "Your PATH is too long for the installer to change safely: add $INSTDIR\bin to it yourself." \
        /SD IDOK
    path_done:
FunctionEnd

Function un.BrevikRemovePath
    ReadRegStr $0 HKCU "${BREVIK_MARKS}" "PathEntry"
    StrCmp $0 "" path_forget
    ClearErrors
    ReadRegStr $1 HKCU "Environment" "Path"
    IfErrors 0 path_read
        ; No PATH value (the entry went with it), or one too long to read.
        Push $0
        Call un.BrevikPathValueExists
        StrCpy $2 $0
        Pop $0
        StrCmp $2 1 path_too_long path_forget
    path_read:
    StrLen $2 $1
    IntCmp $2 ${BREVIK_LONGEST_PATH} 0 0 path_too_long
    ; ";a;ENTRY;b;" becomes ";a" and ";b;", then "a;b".
    Push ";$1;"
    Push ";$0;"
    Call un.StrStr
    Pop $2
    StrCmp $2 "" path_forget
    StrLen $3 $2
    StrCpy $4 ";$1;" -$3
    StrLen $3 ";$0"
    StrCpy $5 $2 "" $3
    StrCpy $1 "$4$5" "" 1
    StrCpy $1 $1 -1
    StrCmp $1 "" 0 path_write
    ReadRegStr $2 HKCU "${BREVIK_MARKS}" "PathCreated"
    StrCmp $2 "1" 0 path_write
        DeleteRegValue HKCU "Environment" "Path"
        Goto path_written
    path_write:
        Call un.BrevikWritePath
    path_written:
    SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
    Goto path_forget
    path_too_long:
        ; The entry stays, and so do the marks: a later install and uninstall
        ; can still take it away once the PATH is shorter.
        MessageBox MB_OK|MB_ICONEXCLAMATION \
            "Your PATH is too long for the uninstaller to change safely: remove $0 from it yourself." \
            /SD IDOK
        Return
    path_forget:
    DeleteRegValue HKCU "${BREVIK_MARKS}" "PathEntry"
    DeleteRegValue HKCU "${BREVIK_MARKS}" "PathCreated"
    DeleteRegKey /ifempty HKCU "${BREVIK_MARKS}"
    DeleteRegKey /ifempty HKCU "Software\Brevik"
FunctionEnd
