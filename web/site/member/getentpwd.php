<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>找回密码 - Kestrova视频管理系统</title>
</head>
<body>
<h1>找回企业密码</h1>
<p>为保障账号安全，密码只以加密形式保存，任何人都无法查看原密码。</p>
<p>如忘记密码，请携带企业账号联系您的服务商重新设置密码；登录后也可在桌面工具的“密码修改”中自行更改。</p>
<p><a href="/member/">返回会员中心</a></p>
</body>
</html>
