' Catching the errors that Orvessa.Pictava raises. They arrive as numbered
' script errors: 6 overflow, 7 out of memory, 9 subscript out of range
' (a byte array too small for the width and height given), and 13 type
' mismatch for an argument of the wrong type.
'   cscript //nologo errors.vbs
Option Explicit

Dim pictava

' A script stopped by an error can end with status 0 (under Wine silently):
' Main runs under a handler that says what went wrong and ends with status 1.
On Error Resume Next
Main
If Err.Number <> 0 Then
    WScript.Echo "errors.vbs: error " & Err.Number & " from " & Err.Source & ": " & Err.Description
    If Err.Number = 429 Then WScript.Echo "Orvessa.Pictava is not registered for this script host's bitness: see README.txt"
    WScript.Quit 1
End If

Sub Main()
    Dim lengths, length, pixels, problem
    Set pictava = CreateObject("Orvessa.Pictava")
    lengths = Array(2540, 1E+7, "wide")
    For Each length In lengths
        problem = TryScaleX(length, pixels)
        If problem = "" Then
            WScript.Echo "ScaleX(" & length & ") = " & pixels
        Else
            WScript.Echo "ScaleX(" & length & "): " & problem
        End If
    Next
    WScript.Echo "ScaleY(-1E+7): " & ErrorSource(-1E+7)
End Sub

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

' The error's source names the object.
Function ErrorSource(height)
    Dim pixels
    On Error Resume Next
    pixels = pictava.ScaleY(height)
    ErrorSource = "error " & Err.Number & " from " & Err.Source
    On Error GoTo 0
End Function
