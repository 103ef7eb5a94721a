' Creates Orvessa.Pictava and converts HIMETRIC lengths (hundredths of a
' millimetre, the unit in which pictures report their size) to pixels.
'   cscript //nologo create.vbs
Option Explicit

' A script stopped by an error can end with status 0 (under Wine silently):
' Main runs under a handler that says what went wrong and ends with status 1.
On Error Resume Next
Main
If Err.Number <> 0 Then
    WScript.Echo "create.vbs: error " & Err.Number & " from " & Err.Source & ": " & Err.Description
    If Err.Number = 429 Then WScript.Echo "Orvessa.Pictava is not registered for this script host's bitness: see README.txt"
    WScript.Quit 1
End If

Sub Main()
    Dim pictava
    Set pictava = CreateObject("Orvessa.Pictava")
    WScript.Echo "One inch (2540 HIMETRIC) is " & pictava.ScaleX(2540) & " pixels wide and " & _
        pictava.ScaleY(2540) & " pixels high."
    WScript.Echo "A 10 cm line is " & pictava.ScaleX(10000) & " pixels."
    WScript.Echo "ScaleX gives an " & TypeName(pictava.ScaleX(1)) & "."
End Sub
