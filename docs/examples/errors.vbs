' Catching the errors that Orvessa.Pictava raises. They arrive as numbered
' script errors: 6 overflow, 7 out of memory, 9 subscript out of range
' (a byte array too small for the width and height given), and 13 type
' mismatch for an argument of the wrong type.
'   cscript //nologo errors.vbs
Option Explicit

Dim pictava
Set pictava = CreateObject("Orvessa.Pictava")

' Returns what went wrong, or "" when the call succeeded.
Function TryScaleX(length, ByRef pixels)
    On Error Resume Next
    pixels = pictava.ScaleX(length)
    Select Case Err.Number
        Case 0: TryScaleX = ""
        Case 6: TryScaleX = "too large for the pixel count (error 6, " & Err.Description & ")"
        Case 7: TryScaleX = "out of memory (error 7)"
        Case 9: TryScaleX = "subscript out of range (error 9)"
        Case Else: TryScaleX = "error " & Err.Number & ": " & Err.Description
    End Select
    On Error GoTo 0
End Function

Dim lengths, length, pixels, problem
lengths = Array(2540, 1E+7, "wide")
For Each length In lengths
    problem = TryScaleX(length, pixels)
    If problem = "" Then
        WScript.Echo "ScaleX(" & length & ") = " & pixels
    Else
        WScript.Echo "ScaleX(" & length & "): " & problem
    End If
Next

' The error's source names the object.
On Error Resume Next
pixels = pictava.ScaleY(-1E+7)
WScript.Echo "ScaleY(-1E+7): error " & Err.Number & " from " & Err.Source
On Error GoTo 0
