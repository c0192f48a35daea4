; Tells the project's own programs and libraries from same-named files of others (the adapter
; maker's component libraries above all): every file the project ships carries a version
; resource whose "Comments" names the project ("Velmora Tessory <version>",
; cmake/version/TzVersion.rc).
;
;   Push <path>
;   Call IsTessoryFile
;   Pop <1 when the file is one of the project's, else 0>
;
; Without a plug-in: the version resource is found by walking the PE headers and the resource
; directory with FileSeek/FileReadByte, and its UTF-16 texts are read one character per word.
; Anything unexpected (no PE file, no resource, a truncated file) counts as "not ours".

!define TZ_MARK_PATTERN "Comments|Velmora Tessory "

; $R1: open file; $R2: offset -> $R3: the little-endian word / double word there ($R4 scratch).
Function TzReadWord
  FileSeek $R1 $R2 SET
  FileReadByte $R1 $R3
  FileReadByte $R1 $R4
  IntOp $R4 $R4 << 8
  IntOp $R3 $R3 | $R4
FunctionEnd

Function TzReadDword
  Call TzReadWord
  Push $R3
  IntOp $R2 $R2 + 2
  Call TzReadWord
  IntOp $R2 $R2 - 2
  IntOp $R3 $R3 << 16
  Pop $R4
  IntOp $R3 $R3 | $R4
FunctionEnd

Function IsTessoryFile
  Exch $R0
  Push $0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  Push $R8
  Push $R9
  StrCpy $R9 0
  ClearErrors
  FileOpen $R1 $R0 r
  ${If} ${Errors}
    Goto done
  ${EndIf}
  ; "MZ", then the PE header at e_lfanew.
  StrCpy $R2 0
  Call TzReadWord
  IntCmp $R3 0x5A4D 0 close close
  StrCpy $R2 0x3C
  Call TzReadDword
  IntCmpU $R3 0x10000 0 0 close
  StrCpy $R5 $R3                      ; $R5: PE header
  StrCpy $R2 $R5
  Call TzReadDword
  IntCmp $R3 0x4550 0 close close     ; "PE\0\0"
  IntOp $R2 $R5 + 6
  Call TzReadWord
  StrCpy $R6 $R3                      ; $R6: number of sections
  IntOp $R2 $R5 + 20
  Call TzReadWord
  StrCpy $R8 $R3                      ; $R8: size of the optional header
  IntOp $R2 $R5 + 24
  Call TzReadWord
  IntCmp $R3 0x10B 0 close close      ; a 32-bit optional header
  IntOp $R2 $R5 + 136                 ; data directory 2 (resources): its address
  Call TzReadDword
  StrCpy $R7 $R3                      ; $R7: address of the resource directory
  IntCmp $R7 0 close
  ; The section holding it: $R0 becomes the difference between file offset and address.
  IntOp $R2 $R5 + 24
  IntOp $R2 $R2 + $R8                 ; first section header
  IntCmpU $R6 96 0 0 close
  ${Do}
    IntCmp $R6 0 close
    IntOp $R6 $R6 - 1
    Push $R2
    IntOp $R2 $R2 + 8
    Call TzReadDword
    StrCpy $0 $R3                     ; its size in memory
    IntOp $R2 $R2 + 4
    Call TzReadDword
    StrCpy $R8 $R3                    ; its address
    IntOp $R2 $R2 + 4
    Call TzReadDword
    ${If} $R3 > $0
      StrCpy $0 $R3                   ; or on disk, when larger
    ${EndIf}
    IntOp $R2 $R2 + 4
    Call TzReadDword                  ; its file offset
    Pop $R2
    IntOp $0 $R8 + $0
    ${If} $R7 >= $R8
    ${AndIf} $R7 < $0
      IntOp $R0 $R3 - $R8
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 40
  ${Loop}
  IntOp $R5 $R7 + $R0                 ; $R5: the resource directory in the file
  ; Level 1: the entry of type 16 (RT_VERSION), among the ones named by number.
  IntOp $R2 $R5 + 12
  Call TzReadWord
  StrCpy $R6 $R3
  IntOp $R2 $R5 + 14
  Call TzReadWord
  StrCpy $R8 $R3
  IntCmpU $R8 256 0 0 close
  IntOp $R2 $R6 * 8
  IntOp $R2 $R2 + $R5
  IntOp $R2 $R2 + 16
  StrCpy $R7 ""
  ${Do}
    IntCmp $R8 0 close
    IntOp $R8 $R8 - 1
    Call TzReadDword
    ${If} $R3 = 16
      IntOp $R2 $R2 + 4
      Call TzReadDword
      StrCpy $R7 $R3
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 8
  ${Loop}
  ; Levels 2 and 3 (name, language): the first entry of each directory; the last leads to
  ; the data entry.
  StrCpy $R6 2
  ${Do}
    IntOp $R4 $R7 & 0x80000000
    IntCmp $R4 0 close                ; data where a directory belongs
    IntOp $R7 $R7 & 0x7FFFFFFF
    IntOp $R2 $R5 + $R7
    IntOp $R2 $R2 + 12
    Call TzReadWord
    StrCpy $R8 $R3
    IntOp $R2 $R2 + 2
    Call TzReadWord
    IntOp $R8 $R8 + $R3
    IntCmp $R8 0 close
    IntOp $R2 $R2 + 6                 ; the first entry's offset
    Call TzReadDword
    StrCpy $R7 $R3
    IntOp $R6 $R6 - 1
  ${LoopUntil} $R6 = 0
  IntOp $R4 $R7 & 0x80000000
  IntCmp $R4 0 0 close close
  IntOp $R2 $R5 + $R7
  Call TzReadDword
  IntOp $R7 $R3 + $R0                 ; the version resource in the file
  IntOp $R2 $R2 + 4
  Call TzReadDword
  StrCpy $R6 $R3                      ; and its size
  IntCmpU $R6 2048 +2 +2 0
  StrCpy $R6 2048
  ; Its texts, one character per UTF-16 word: a zero word becomes "|" (runs of them one "|"),
  ; anything outside printable ASCII "?".
  FileSeek $R1 $R7 SET
  StrCpy $R8 ""
  StrCpy $R5 ""
  ${Do}
    ${If} $R6 < 2
      ${Break}
    ${EndIf}
    IntOp $R6 $R6 - 2
    ClearErrors
    FileReadByte $R1 $R3
    FileReadByte $R1 $R4
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${If} $R4 != 0
      StrCpy $R2 "?"
    ${ElseIf} $R3 = 0
      ${If} $R5 == "|"
        ${Continue}
      ${EndIf}
      StrCpy $R2 "|"
    ${ElseIf} $R3 < 32
    ${OrIf} $R3 > 126
      StrCpy $R2 "?"
    ${Else}
      IntFmt $R2 "%c" $R3
    ${EndIf}
    StrCpy $R5 $R2
    StrCpy $R8 "$R8$R2"
    StrLen $R2 $R8
    ${If} $R2 > 1000
      ${Break}
    ${EndIf}
  ${Loop}
  ; The mark, case-sensitive.
  StrLen $R4 "${TZ_MARK_PATTERN}"
  StrLen $R6 $R8
  IntOp $R6 $R6 - $R4
  StrCpy $R2 0
  ${DoWhile} $R2 <= $R6
    StrCpy $R3 $R8 $R4 $R2
    ${If} $R3 S== "${TZ_MARK_PATTERN}"
      StrCpy $R9 1
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${Loop}
close:
  FileClose $R1
done:
  StrCpy $R0 $R9
  Pop $R9
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $0
  Exch $R0
FunctionEnd
